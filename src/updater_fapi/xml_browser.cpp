#include "xml_browser.h"

#include <charconv>
#include <cstring>
#include <system_error>

#include "updater_error.h"

namespace {

bool Equal(const char* a, const char* b)
{
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

// Reads the number at the start of a text the way the C library's atoi and
// atof do (no digits at all read as 0), but refuses a value the type cannot
// hold instead of wrapping it.
template <typename T>
std::optional<T> LeadingNumber(const std::string& text)
{
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        return std::nullopt;
    }
    if (error != std::errc{}) {
        return T{};
    }
    return value;
}

}  // namespace

XMLBrowser::XMLBrowser() : document_(std::make_unique<pugi::xml_document>()) {}

XMLBrowser::~XMLBrowser() = default;

void XMLBrowser::Fail(std::string_view message, std::string_view context, const char* file, unsigned line) const
{
    std::string text = "XML_Browser_ERR: ";
    text.append(message);
    text += '(';
    text.append(context);
    text += ") ";
    text += file;
    text += " (";
    text += std::to_string(line);
    text += ')';
    throw UpdaterError(text);
}

void XMLBrowser::CheckMove(const char* file, unsigned line) const
{
    if (!loaded_) {
        Fail("XML file not loaded", fileName_, file, line);
    }
    if (current_.empty()) {
        Fail("Node not defined", {}, file, line);
    }
}

void XMLBrowser::Adopt(std::unique_ptr<pugi::xml_document> document)
{
    document_ = std::move(document);
    current_ = pugi::xml_node();
    saved_.fill(pugi::xml_node());
    savedCount_ = 0;
    loaded_ = true;
}

void XMLBrowser::OpenXMLFile(const char* path)
{
    const std::string_view given = path != nullptr ? path : "";
    fileName_ = std::string(given.substr(0, kMaxXmlErrorFileNameLength));
    auto document = std::make_unique<pugi::xml_document>();
    if (path == nullptr || !document->load_file(path)) {
        Fail("OpenXMLFile file not found or wrong structure.", given);
    }
    Adopt(std::move(document));
}

void XMLBrowser::OpenFromMemory(const void* buffer, std::uint32_t size)
{
    auto document = std::make_unique<pugi::xml_document>();
    if (buffer == nullptr || !document->load_buffer(buffer, size)) {
        Fail("XMLBrowser::OpenFromMemory failed");
    }
    Adopt(std::move(document));
}

bool XMLBrowser::GoRoot()
{
    current_ = document_->root();
    return !current_.empty();
}

bool XMLBrowser::GoChild()
{
    CheckMove();
    const pugi::xml_node next = current_.first_child();
    if (next.empty()) {
        return false;
    }
    current_ = next;
    return true;
}

bool XMLBrowser::GoNext()
{
    CheckMove();
    const pugi::xml_node next = current_.next_sibling();
    if (next.empty()) {
        return false;
    }
    current_ = next;
    return true;
}

bool XMLBrowser::GoPrevious()
{
    CheckMove();
    const pugi::xml_node next = current_.previous_sibling();
    if (next.empty()) {
        return false;
    }
    current_ = next;
    return true;
}

bool XMLBrowser::GoParent()
{
    CheckMove();
    const pugi::xml_node next = current_.parent();
    if (next.empty()) {
        return false;
    }
    current_ = next;
    return true;
}

bool XMLBrowser::GoChild(int count)
{
    for (int i = 0; i < count; ++i) {
        if (!GoChild()) {
            return false;
        }
    }
    return true;
}

bool XMLBrowser::GoNext(int count)
{
    for (int i = 0; i < count; ++i) {
        if (!GoNext()) {
            return false;
        }
    }
    return true;
}

bool XMLBrowser::GoParent(int count)
{
    for (int i = 0; i < count; ++i) {
        if (!GoParent()) {
            return false;
        }
    }
    return true;
}

bool XMLBrowser::GoNodeByName(const char* name, bool throwIfMissing)
{
    // A bound on the walk, so that a huge document cannot keep the search
    // going without end.
    for (int examined = 1; examined <= kMaxNodesByName; ++examined) {
        if (Equal(GetElementName(), name)) {
            return true;
        }
        if (!GoNext()) {
            if (throwIfMissing) {
                Fail(std::string("XMLBrowser::GoNodeByName error: node not found: ") + (name != nullptr ? name : ""));
            }
            return false;
        }
    }
    Fail("XMLBrowser::GoNodeByName - error: maximum retries reached.");
}

bool XMLBrowser::GoNodeByAttribute(const char* node, const char* attribute, const char* value)
{
    if (node == nullptr || attribute == nullptr || value == nullptr) {
        return false;
    }
    // The value goes in as an XPath variable, so that any text (quotes
    // included) is compared as it stands rather than read as part of the
    // query.
    const std::string text = std::string("//") + node + "[@" + attribute + "=$value]";
    pugi::xpath_variable_set variables;
    variables.set("value", value);
    pugi::xpath_node found;
    try {
        const pugi::xpath_query query(text.c_str(), &variables);
        found = document_->select_node(query);
    } catch (const pugi::xpath_exception& error) {
        Fail(std::string("XMLBrowser::GoNodeByAttribute - invalid query: ") + error.what(), text);
    }
    if (found.node().empty()) {
        return false;
    }
    current_ = found.node();
    return true;
}

bool XMLBrowser::FindNode(const char* text, bool exact, bool inValue)
{
    if (text == nullptr) {
        return false;
    }
    const std::string_view wanted = text;
    if (wanted.size() > kMaxSearchTextLength) {
        Fail("XMLBrowser::FindNode - search text too long");
    }
    const pugi::xml_node found = current_.find_node([&](const pugi::xml_node& node) {
        const std::string_view seen = inValue ? node.value() : node.name();
        return exact ? seen == wanted : seen.find(wanted) != std::string_view::npos;
    });
    if (found.empty()) {
        return false;
    }
    current_ = found;
    return true;
}

bool XMLBrowser::IsNodeName(const char* name) const
{
    return Equal(GetElementName(), name);
}

const char* XMLBrowser::GetElementName() const
{
    if (current_.empty() || current_.first_child().empty()) {
        return nullptr;
    }
    return current_.name();
}

const char* XMLBrowser::GetNodeName() const
{
    return current_.empty() ? nullptr : current_.name();
}

const char* XMLBrowser::GetNodeText() const
{
    if (current_.empty() || current_.first_child().empty()) {
        return nullptr;
    }
    return current_.first_child().value();
}

const char* XMLBrowser::GetAttribute(const char* name) const
{
    if (current_.empty() || name == nullptr) {
        return nullptr;
    }
    const pugi::xml_attribute attribute = current_.attribute(name);
    return attribute.empty() ? nullptr : attribute.value();
}

pugi::xpath_node_set XMLBrowser::Select(const char* query) const
{
    if (current_.empty() || query == nullptr) {
        return {};
    }
    try {
        return current_.select_nodes(query);
    } catch (const pugi::xpath_exception& error) {
        Fail(std::string("XMLBrowser - invalid XPath query: ") + error.what(), query);
    }
}

int XMLBrowser::GetNodeCount(const char* name) const
{
    int count = 0;
    for (const pugi::xpath_node& selected : Select(name)) {
        if (!selected.node().empty() && Equal(selected.node().name(), name)) {
            ++count;
        }
    }
    return count;
}

const char* XMLBrowser::FindNodeData(const char* name, const char* query) const
{
    for (const pugi::xpath_node& selected : Select(query)) {
        if (!selected.node().empty() && Equal(selected.node().name(), name)) {
            return selected.node().first_child().value();
        }
    }
    return nullptr;
}

bool XMLBrowser::GetNodeData(const char* name, const char* query, char* out, int size) const
{
    if (out == nullptr || size < 1) {
        Fail("XMLBrowser::GetNodeData ERROR: no output buffer", name != nullptr ? name : "");
    }
    const char* text = FindNodeData(name, query);
    if (text == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(text);
    if (length >= static_cast<std::size_t>(size)) {
        Fail("XMLBrowser::GetNodeData ERROR: node data does not fit the output buffer", name);
    }
    std::memcpy(out, text, length + 1);
    return true;
}

bool XMLBrowser::GetNodeData(const char* name, const char* query, std::string& out) const
{
    const char* text = FindNodeData(name, query);
    if (text == nullptr) {
        return false;
    }
    out = text;
    return true;
}

const char* XMLBrowser::GetNodeDataText(const char* name, const char* query) const
{
    return FindNodeData(name, query);
}

std::optional<std::string> XMLBrowser::NumberText(const char* name, const char* caller) const
{
    std::array<char, kNumberBufferSize> buffer{};
    if (!GetNodeData(name, name, buffer.data(), kNumberBufferSize)) {
        return std::nullopt;
    }
    if (!IsNumber(buffer.data())) {
        Fail(std::string(caller) + " ERROR: Node data is not a number");
    }
    return std::string(buffer.data());
}

int XMLBrowser::GetNodeDataInt(const char* name) const
{
    const auto text = NumberText(name, "XMLBrowser::GetNodeDataInt");
    if (!text) {
        return 0;
    }
    const auto value = LeadingNumber<int>(*text);
    if (!value) {
        Fail("XMLBrowser::GetNodeDataInt ERROR: Node data is out of range", *text);
    }
    return *value;
}

std::int64_t XMLBrowser::GetNodeDataInt64(const char* name) const
{
    const auto text = NumberText(name, "XMLBrowser::GetNodeDataInt");
    if (!text) {
        return 0;
    }
    const auto value = LeadingNumber<std::int64_t>(*text);
    if (!value) {
        Fail("XMLBrowser::GetNodeDataInt64 ERROR: Node data is out of range", *text);
    }
    return *value;
}

double XMLBrowser::GetNodeDataDouble(const char* name) const
{
    const auto text = NumberText(name, "XMLBrowser::GetNodeDataDouble");
    if (!text) {
        return 0.0;
    }
    const auto value = LeadingNumber<double>(*text);
    if (!value) {
        Fail("XMLBrowser::GetNodeDataDouble ERROR: Node data is out of range", *text);
    }
    return *value;
}

void XMLBrowser::PushNode()
{
    if (savedCount_ >= kMaxPushedNodes) {
        Fail("Max number of parameters pushed");
    }
    saved_[static_cast<std::size_t>(savedCount_++)] = current_;
}

void XMLBrowser::PopNode()
{
    if (savedCount_ <= 0) {
        Fail("Parameter node is not pushed");
    }
    current_ = saved_[static_cast<std::size_t>(--savedCount_)];
}

bool XMLBrowser::IsNumber(const char* text)
{
    if (text == nullptr) {
        return false;
    }
    for (const char* c = text; *c != '\0'; ++c) {
        if (!((*c >= '0' && *c <= '9') || *c == '-' || *c == ',' || *c == '.')) {
            return false;
        }
    }
    return true;
}
