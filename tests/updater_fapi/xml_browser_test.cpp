#include "xml_browser.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "temp_dir.h"
#include "updater_error.h"

using zvtest::TempDir;

namespace {

// The thrown text of an operation, or "" when it did not throw.
template <typename Operation>
std::string ErrorOf(Operation operation)
{
    try {
        operation();
    } catch (const UpdaterError& error) {
        return error.what();
    }
    return "";
}

// The start of a browser error: message and context; the source position
// follows.
std::string BrowserError(std::string_view message, std::string_view context = "")
{
    return "XML_Browser_ERR: " + std::string(message) + "(" + std::string(context) + ") ";
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

#define EXPECT_BROWSER_ERROR(statement, message, context)                                                              \
    do {                                                                                                               \
        const std::string thrown = ErrorOf([&] { (void)(statement); });                                                \
        EXPECT_TRUE(StartsWith(thrown, BrowserError(message, context))) << thrown;                                     \
        EXPECT_NE(thrown.find("xml_browser.cpp ("), std::string::npos) << thrown;                                      \
    } while (false)

void Load(XMLBrowser& browser, std::string_view xml)
{
    browser.OpenFromMemory(xml.data(), static_cast<std::uint32_t>(xml.size()));
}

// A compatibility list of the shape the self-tests walk.
constexpr std::string_view kCompatibility = R"(<?xml version="1.0" encoding="UTF-8"?>
<compatibility>
  <model test_model="JV966JK-TD-G">
    <version cpu_ver="03.03" eeprom_ver="2" defaults_ver="1"/>
    <version cpu_ver="03.10" eeprom_ver="2" defaults_ver="2"/>
  </model>
  <model test_model="TestCam02">
    <version cpu_ver="02.00" eeprom_ver="1" defaults_ver="0"/>
  </model>
</compatibility>
)";

TEST(XMLBrowserTest, MovesNeedALoadedDocumentAndACursor)
{
    XMLBrowser browser;
    EXPECT_BROWSER_ERROR(browser.GoChild(), "XML file not loaded", "-undef-");
    EXPECT_BROWSER_ERROR(browser.GoNext(), "XML file not loaded", "-undef-");
    EXPECT_BROWSER_ERROR(browser.GoPrevious(), "XML file not loaded", "-undef-");
    EXPECT_BROWSER_ERROR(browser.GoParent(), "XML file not loaded", "-undef-");
    EXPECT_TRUE(browser.GoChild(0));  // no move asked, none checked
    EXPECT_EQ(browser.GetNodeName(), nullptr);

    // Loading leaves no cursor: GoRoot comes first.
    Load(browser, "<a><b>1</b></a>");
    EXPECT_BROWSER_ERROR(browser.GoChild(), "Node not defined", "");
    EXPECT_TRUE(browser.GoRoot());
    EXPECT_TRUE(browser.GoChild());
}

TEST(XMLBrowserTest, NavigatesChildrenSiblingsAndParents)
{
    XMLBrowser browser;
    Load(browser, "<a><b>1</b><c/></a>");
    ASSERT_TRUE(browser.GoRoot());
    EXPECT_STREQ(browser.GetNodeName(), "");  // the document node
    ASSERT_TRUE(browser.GoChild());
    EXPECT_STREQ(browser.GetNodeName(), "a");
    EXPECT_STREQ(browser.GetElementName(), "a");

    std::string data;
    EXPECT_TRUE(browser.GetNodeData("b", "b", data));
    EXPECT_EQ(data, "1");

    ASSERT_TRUE(browser.GoChild());
    EXPECT_STREQ(browser.GetNodeName(), "b");
    EXPECT_STREQ(browser.GetNodeText(), "1");
    EXPECT_TRUE(browser.IsNodeName("b"));
    ASSERT_TRUE(browser.GoNext());
    EXPECT_STREQ(browser.GetNodeName(), "c");
    EXPECT_FALSE(browser.GoNext());
    EXPECT_STREQ(browser.GetNodeName(), "c");
    // An element without content has no element name and no text.
    EXPECT_EQ(browser.GetElementName(), nullptr);
    EXPECT_EQ(browser.GetNodeText(), nullptr);
    EXPECT_FALSE(browser.IsNodeName("c"));
    EXPECT_FALSE(browser.GoChild());
    EXPECT_STREQ(browser.GetNodeName(), "c");

    ASSERT_TRUE(browser.GoPrevious());
    EXPECT_STREQ(browser.GetNodeName(), "b");
    EXPECT_FALSE(browser.GoPrevious());
    ASSERT_TRUE(browser.GoParent(2));
    EXPECT_STREQ(browser.GetNodeName(), "");
    EXPECT_FALSE(browser.GoParent());

    // Repeated moves stop at the first that fails, keeping those made.
    EXPECT_TRUE(browser.GoChild(2));
    EXPECT_STREQ(browser.GetNodeName(), "b");
    EXPECT_FALSE(browser.GoNext(3));
    EXPECT_STREQ(browser.GetNodeName(), "c");
    EXPECT_FALSE(browser.GoParent(5));
    EXPECT_STREQ(browser.GetNodeName(), "");
}

TEST(XMLBrowserTest, WalksAFileAsTheSelfTestsDo)
{
    TempDir dir;
    const std::string path = dir.Write("firmware_and_data_compatibility.xml", kCompatibility);
    XMLBrowser browser;
    browser.OpenXMLFile(path.c_str());
    ASSERT_TRUE(browser.GoRoot());
    ASSERT_TRUE(browser.GoChild(2));

    std::string seen;
    do {
        const char* model = browser.GetAttribute("test_model");
        ASSERT_NE(model, nullptr);
        seen += model;
        ASSERT_TRUE(browser.GoChild());
        do {
            seen += std::string(" ") + browser.GetAttribute("cpu_ver") + "/" + browser.GetAttribute("eeprom_ver") +
                    "." + browser.GetAttribute("defaults_ver");
            EXPECT_EQ(browser.GetAttribute("missing"), nullptr);
        } while (browser.GoNext());
        ASSERT_TRUE(browser.GoParent());
        seen += ";";
    } while (browser.GoNext());
    EXPECT_EQ(seen, "JV966JK-TD-G 03.03/2.1 03.10/2.2;TestCam02 02.00/1.0;");
}

TEST(XMLBrowserTest, FileThatCannotBeLoadedIsAnError)
{
    TempDir dir;
    const std::string missing = dir.File("missing.xml");
    const std::string broken = dir.Write("broken.xml", "<a><b></a>");
    XMLBrowser browser;
    EXPECT_BROWSER_ERROR(browser.OpenXMLFile(missing.c_str()), "OpenXMLFile file not found or wrong structure.",
                         missing);
    EXPECT_BROWSER_ERROR(browser.OpenXMLFile(broken.c_str()), "OpenXMLFile file not found or wrong structure.", broken);
    // Nothing is loaded, and the moves name the file last asked for, its
    // first 200 characters.
    EXPECT_BROWSER_ERROR(browser.GoChild(), "XML file not loaded", broken);
    const std::string longPath = dir.File(std::string(250, 'x'));
    EXPECT_BROWSER_ERROR(browser.OpenXMLFile(longPath.c_str()), "OpenXMLFile file not found or wrong structure.",
                         longPath);
    EXPECT_BROWSER_ERROR(browser.GoChild(), "XML file not loaded", longPath.substr(0, 200));
}

TEST(XMLBrowserTest, MalformedDocumentsInMemoryAreRefused)
{
    const std::string_view cases[] = {
        "", "just text", "<a><b></a>", "<a>", "<a attr=\"1></a>", "<a></b>", "<?xml version=\"1.0\"?>",
    };
    for (std::string_view xml : cases) {
        SCOPED_TRACE(xml);
        XMLBrowser browser;
        EXPECT_BROWSER_ERROR(Load(browser, xml), "XMLBrowser::OpenFromMemory failed", "");
        EXPECT_BROWSER_ERROR(browser.GoChild(), "XML file not loaded", "-undef-");
    }
    XMLBrowser browser;
    EXPECT_BROWSER_ERROR(browser.OpenFromMemory(nullptr, 10), "XMLBrowser::OpenFromMemory failed", "");
}

// The cursor and the saved positions belong to one document: a new document
// clears them, a failed load keeps the old document with them.
TEST(XMLBrowserTest, LoadingAnotherDocumentClearsTheCursorAndStack)
{
    XMLBrowser browser;
    Load(browser, "<a><b>1</b></a>");
    browser.GoRoot();
    browser.GoChild(2);
    browser.PushNode();

    EXPECT_BROWSER_ERROR(Load(browser, "<broken"), "XMLBrowser::OpenFromMemory failed", "");
    EXPECT_STREQ(browser.GetNodeName(), "b");
    browser.PopNode();
    EXPECT_STREQ(browser.GetNodeName(), "b");
    browser.PushNode();

    Load(browser, "<x><y>2</y></x>");
    EXPECT_EQ(browser.GetNodeName(), nullptr);
    EXPECT_BROWSER_ERROR(browser.GoNext(), "Node not defined", "");
    EXPECT_BROWSER_ERROR(browser.PopNode(), "Parameter node is not pushed", "");
    browser.GoRoot();
    browser.GoChild(2);
    EXPECT_STREQ(browser.GetNodeText(), "2");
}

TEST(XMLBrowserTest, PositionStackHoldsTenPositions)
{
    std::string xml = "<r>";
    for (int i = 0; i < 12; ++i) {
        xml += "<n" + std::to_string(i) + ">" + std::to_string(i) + "</n" + std::to_string(i) + ">";
    }
    xml += "</r>";
    XMLBrowser browser;
    Load(browser, xml);
    EXPECT_BROWSER_ERROR(browser.PopNode(), "Parameter node is not pushed", "");

    browser.GoRoot();
    browser.GoChild(2);
    for (int i = 0; i < XMLBrowser::kMaxPushedNodes; ++i) {
        browser.PushNode();
        browser.GoNext();
    }
    EXPECT_STREQ(browser.GetNodeName(), "n10");
    EXPECT_BROWSER_ERROR(browser.PushNode(), "Max number of parameters pushed", "");
    EXPECT_STREQ(browser.GetNodeName(), "n10");

    for (int i = XMLBrowser::kMaxPushedNodes - 1; i >= 0; --i) {
        browser.PopNode();
        EXPECT_EQ(browser.GetNodeName(), "n" + std::to_string(i));
    }
    EXPECT_BROWSER_ERROR(browser.PopNode(), "Parameter node is not pushed", "");
    EXPECT_STREQ(browser.GetNodeName(), "n0");
}

TEST(XMLBrowserTest, GoesToTheFirstNodeWithAnAttributeValue)
{
    XMLBrowser browser;
    Load(browser, kCompatibility);
    browser.GoRoot();
    browser.GoChild(3);  // deep in the first model; the search covers the document

    ASSERT_TRUE(browser.GoNodeByAttribute("version", "cpu_ver", "02.00"));
    EXPECT_STREQ(browser.GetAttribute("eeprom_ver"), "1");
    ASSERT_TRUE(browser.GoNodeByAttribute("model", "test_model", "JV966JK-TD-G"));
    EXPECT_STREQ(browser.GetAttribute("test_model"), "JV966JK-TD-G");
    ASSERT_TRUE(browser.GoNodeByAttribute("version", "defaults_ver", "2"));
    EXPECT_STREQ(browser.GetAttribute("cpu_ver"), "03.10");

    EXPECT_FALSE(browser.GoNodeByAttribute("version", "cpu_ver", "09.99"));
    EXPECT_FALSE(browser.GoNodeByAttribute("model", "cpu_ver", "03.03"));
    EXPECT_STREQ(browser.GetAttribute("cpu_ver"), "03.10");

    // Values are compared as they stand, quotes included.
    Load(browser, R"(<r><v name="it's"/><v name='say "x"'/></r>)");
    browser.GoRoot();
    ASSERT_TRUE(browser.GoNodeByAttribute("v", "name", "say \"x\""));
    ASSERT_TRUE(browser.GoNodeByAttribute("v", "name", "it's"));
    EXPECT_FALSE(browser.GoNodeByAttribute("v", "name", "it' or '1'='1"));
    EXPECT_TRUE(StartsWith(ErrorOf([&] { browser.GoNodeByAttribute("v v", "name", "x"); }),
                           "XML_Browser_ERR: XMLBrowser::GoNodeByAttribute - invalid query"));
}

TEST(XMLBrowserTest, NodeDataAndCountsComeFromXPathAtTheCursor)
{
    XMLBrowser browser;
    Load(browser, R"(<set>
        <content_version>1.2</content_version>
        <item>first</item><item>second</item>
        <group><item>inner</item><empty/></group>
    </set>)");
    browser.GoRoot();
    browser.GoChild();

    EXPECT_EQ(browser.GetNodeCount("item"), 2);  // children of the cursor only
    EXPECT_EQ(browser.GetNodeCount("group"), 1);
    EXPECT_EQ(browser.GetNodeCount("nothing"), 0);
    EXPECT_EQ(browser.GetNodeCount("//item"), 0);  // selected nodes are named item, not //item

    std::string text;
    EXPECT_TRUE(browser.GetNodeData("item", "item", text));
    EXPECT_EQ(text, "first");
    EXPECT_TRUE(browser.GetNodeData("item", "group/item", text));
    EXPECT_EQ(text, "inner");
    EXPECT_TRUE(browser.GetNodeData("item", "(//item)[last()]", text));
    EXPECT_EQ(text, "inner");
    EXPECT_STREQ(browser.GetNodeDataText("item", "item[2]"), "second");
    EXPECT_EQ(browser.GetNodeDataText("group", "item"), nullptr);  // selected, but named item
    EXPECT_STREQ(browser.GetNodeDataText("empty", "group/empty"), "");
    text = "kept";
    EXPECT_FALSE(browser.GetNodeData("missing", "missing", text));
    EXPECT_EQ(text, "kept");

    // The text must fit the caller's buffer with its terminator.
    char buffer[4] = {'z', 'z', 'z', 'z'};
    EXPECT_TRUE(browser.GetNodeData("content_version", "content_version", buffer, 4));
    EXPECT_STREQ(buffer, "1.2");
    EXPECT_TRUE(
        StartsWith(ErrorOf([&] { browser.GetNodeData("item", "item", buffer, 4); }),
                   BrowserError("XMLBrowser::GetNodeData ERROR: node data does not fit the output buffer", "item")));
    EXPECT_TRUE(StartsWith(ErrorOf([&] { browser.GetNodeData("item", "item[", text); }),
                           "XML_Browser_ERR: XMLBrowser - invalid XPath query"));
}

TEST(XMLBrowserTest, NodeDataAsNumbers)
{
    XMLBrowser browser;
    Load(browser, R"(<n><neg>-3</neg><bad>12a</bad><empty></empty><none/><comma>1,5</comma>
        <real>2.75</real><big>99999999999</big><minus>-</minus><long>)" +
                      std::string(XMLBrowser::kNumberBufferSize, '7') + "</long></n>");
    browser.GoRoot();
    browser.GoChild();

    const struct {
        const char* name;
        int asInt;
        std::int64_t asInt64;
        double asDouble;
    } cases[] = {
        {"neg", -3, -3, -3.0}, {"empty", 0, 0, 0.0}, {"none", 0, 0, 0.0},  {"missing", 0, 0, 0.0},
        {"comma", 1, 1, 1.0},  {"real", 2, 2, 2.75}, {"minus", 0, 0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(browser.GetNodeDataInt(c.name), c.asInt);
        EXPECT_EQ(browser.GetNodeDataInt64(c.name), c.asInt64);
        EXPECT_DOUBLE_EQ(browser.GetNodeDataDouble(c.name), c.asDouble);
    }

    EXPECT_BROWSER_ERROR(browser.GetNodeDataInt("bad"), "XMLBrowser::GetNodeDataInt ERROR: Node data is not a number",
                         "");
    EXPECT_BROWSER_ERROR(browser.GetNodeDataInt64("bad"), "XMLBrowser::GetNodeDataInt ERROR: Node data is not a number",
                         "");
    EXPECT_BROWSER_ERROR(browser.GetNodeDataDouble("bad"),
                         "XMLBrowser::GetNodeDataDouble ERROR: Node data is not a number", "");
    // Too large for an int: an error rather than a wrapped value.
    EXPECT_BROWSER_ERROR(browser.GetNodeDataInt("big"), "XMLBrowser::GetNodeDataInt ERROR: Node data is out of range",
                         "99999999999");
    EXPECT_EQ(browser.GetNodeDataInt64("big"), 99999999999);
    // Number texts are read through a 100-character buffer.
    EXPECT_BROWSER_ERROR(browser.GetNodeDataInt64("long"),
                         "XMLBrowser::GetNodeData ERROR: node data does not fit the output buffer", "long");
}

TEST(XMLBrowserTest, IsNumberAcceptsDigitsSignsAndSeparators)
{
    EXPECT_TRUE(XMLBrowser::IsNumber(""));
    EXPECT_TRUE(XMLBrowser::IsNumber("0123456789"));
    EXPECT_TRUE(XMLBrowser::IsNumber("-1,234.5"));
    EXPECT_FALSE(XMLBrowser::IsNumber("12a"));
    EXPECT_FALSE(XMLBrowser::IsNumber(" 1"));
    EXPECT_FALSE(XMLBrowser::IsNumber("+1"));
    EXPECT_FALSE(XMLBrowser::IsNumber("1e5"));
    EXPECT_FALSE(XMLBrowser::IsNumber(nullptr));
}

// Depth first below the cursor, by name or by value, exact or contained.
TEST(XMLBrowserTest, FindsNodesDepthFirstWithAPredicate)
{
    constexpr std::string_view xml = R"(<r>
        <a><x><server>alpha</server></x></a>
        <ver>beta gamma</ver>
        <version_info>alpha</version_info>
    </r>)";
    const struct {
        const char* text;
        bool exact;
        bool inValue;
        bool found;
        const char* name;    // of the node found
        const char* parent;  // for text nodes, which have no name
    } cases[] = {
        {"ver", false, false, true, "server", "x"},  // deeper, but earlier in the document
        {"ver", true, false, true, "ver", "r"},
        {"version", false, false, true, "version_info", "r"},
        {"alpha", true, true, true, "", "server"},
        {"gamma", false, true, true, "", "ver"},
        {"gamma", true, true, false, nullptr, nullptr},
        {"r", true, false, false, nullptr, nullptr},  // the cursor itself is not searched
        {"delta", false, true, false, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + std::string(c.exact ? " exact" : " contained") + (c.inValue ? " in value" : " in name"));
        XMLBrowser browser;
        Load(browser, xml);
        browser.GoRoot();
        browser.GoChild();
        EXPECT_EQ(browser.FindNode(c.text, c.exact, c.inValue), c.found);
        if (c.found) {
            EXPECT_STREQ(browser.GetNodeName(), c.name);
            browser.GoParent();
            EXPECT_STREQ(browser.GetNodeName(), c.parent);
        } else {
            EXPECT_STREQ(browser.GetNodeName(), "r");
        }
    }

    XMLBrowser browser;
    Load(browser, xml);
    browser.GoRoot();
    EXPECT_FALSE(browser.FindNode(nullptr, true, false));
    EXPECT_FALSE(browser.FindNode(std::string(XMLBrowser::kMaxSearchTextLength, 'v').c_str(), false, false));
    EXPECT_BROWSER_ERROR(browser.FindNode(std::string(XMLBrowser::kMaxSearchTextLength + 1, 'v').c_str(), false, false),
                         "XMLBrowser::FindNode - search text too long", "");
}

TEST(XMLBrowserTest, GoesToASiblingByName)
{
    XMLBrowser browser;
    Load(browser, "<r><a>1</a><b/><c>3</c><d>4</d></r>");
    browser.GoRoot();
    browser.GoChild(2);

    EXPECT_TRUE(browser.GoNodeByName("a", false));  // the cursor itself counts
    EXPECT_STREQ(browser.GetNodeName(), "a");
    EXPECT_TRUE(browser.GoNodeByName("c", false));
    EXPECT_STREQ(browser.GetNodeText(), "3");
    EXPECT_FALSE(browser.GoNodeByName("a", false));  // only following siblings
    EXPECT_STREQ(browser.GetNodeName(), "d");

    browser.GoParent();
    browser.GoChild();
    // An element without content is never found by its name.
    EXPECT_FALSE(browser.GoNodeByName("b", false));
    EXPECT_STREQ(browser.GetNodeName(), "d");
    browser.GoParent();
    browser.GoChild();
    EXPECT_BROWSER_ERROR(browser.GoNodeByName("z", true), "XMLBrowser::GoNodeByName error: node not found: z", "");
}

TEST(XMLBrowserTest, SearchByNameGivesUpAfterTheAllowance)
{
    std::string xml = "<r>";
    xml.reserve(XMLBrowser::kMaxNodesByName * 8 + 32);
    for (int i = 0; i <= XMLBrowser::kMaxNodesByName; ++i) {
        xml += "<n>1</n>";
    }
    xml += "<z>1</z></r>";
    XMLBrowser browser;
    Load(browser, xml);
    browser.GoRoot();
    browser.GoChild(2);
    EXPECT_BROWSER_ERROR(browser.GoNodeByName("z", false), "XMLBrowser::GoNodeByName - error: maximum retries reached.",
                         "");
}

}  // namespace
