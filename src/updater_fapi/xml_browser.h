#pragma once

#include "text_limits.h"
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

// A cursor over one parsed XML document: the user-set files of the camera and
// the firmware compatibility list are read with it. The cursor moves to the
// document, a child, a sibling or the parent, finds nodes by name, attribute
// or text, reads names, texts and attributes, and saves positions on a small
// stack. Every failure is a thrown UpdaterError of the form
// "XML_Browser_ERR: <message>(<context>) <source file> (<line>)".
//
// Texts returned as const char* point into the document; they stay valid
// until the next document is loaded or the browser is destroyed.
class XMLBrowser {
public:
    static constexpr int kMaxPushedNodes = 10;
    static constexpr std::size_t kMaxSearchTextLength = 1503;
    static constexpr int kMaxNodesByName = 99999;
    static constexpr int kNumberBufferSize = 100;  // node data read as a number

    XMLBrowser();
    ~XMLBrowser();
    XMLBrowser(const XMLBrowser&) = delete;
    XMLBrowser& operator=(const XMLBrowser&) = delete;

    // Loading replaces the document. The cursor and the saved positions
    // pointed into the old document, so they are cleared: call GoRoot next.
    // A failed load keeps the previous document, cursor and stack.
    void OpenXMLFile(const char* path);
    void OpenFromMemory(const void* buffer, std::uint32_t size);

    // Moves; false (cursor kept) when there is no such node.
    bool GoRoot();
    bool GoChild();
    bool GoNext();
    bool GoPrevious();
    bool GoParent();
    // The single move count times; false at the first move that fails (the
    // moves made stay made); true for a count of 0 or less.
    bool GoChild(int count);
    bool GoNext(int count);
    bool GoParent(int count);

    // Walks from the cursor over its following siblings to the first element
    // with that name that has content.
    bool GoNodeByName(const char* name, bool throwIfMissing);
    // First element of the whole document with that attribute value.
    bool GoNodeByAttribute(const char* node, const char* attribute, const char* value);
    // Depth-first search below the cursor for a node whose name (or value,
    // with inValue) equals the text (exact) or contains it.
    bool FindNode(const char* text, bool exact, bool inValue);

    bool IsNodeName(const char* name) const;
    // The cursor's name, null when it has no content (no child node).
    const char* GetElementName() const;
    // The cursor's name, null only without a cursor.
    const char* GetNodeName() const;
    // The text of the cursor's first child, null when it has none.
    const char* GetNodeText() const;
    const char* GetAttribute(const char* name) const;
    // Nodes named name that the XPath query name selects at the cursor.
    int GetNodeCount(const char* name) const;

    // Runs the XPath query at the cursor and takes the text of the first
    // selected node named name. The text must fit out with its terminator
    // (at most size - 1 characters), else it is an error.
    bool GetNodeData(const char* name, const char* query, char* out, int size) const;
    bool GetNodeData(const char* name, const char* query, std::string& out) const;
    const char* GetNodeDataText(const char* name, const char* query) const;
    // The node data of name read as a number; 0 when there is no such node.
    int GetNodeDataInt(const char* name) const;
    std::int64_t GetNodeDataInt64(const char* name) const;
    double GetNodeDataDouble(const char* name) const;

    void PushNode();
    void PopNode();

    // Digits, '-', ',' and '.' only (an empty text counts as a number).
    static bool IsNumber(const char* text);

private:
    // The file and line of the caller are filled in by the compiler (its
    // built-ins, which every compiler we build with has, unlike the standard
    // library's source_location).
    [[noreturn]] void Fail(std::string_view message, std::string_view context = {}, const char* file = __builtin_FILE(),
                           unsigned line = __builtin_LINE()) const;
    void CheckMove(const char* file = __builtin_FILE(), unsigned line = __builtin_LINE()) const;
    void Adopt(std::unique_ptr<pugi::xml_document> document);
    pugi::xpath_node_set Select(const char* query) const;
    const char* FindNodeData(const char* name, const char* query) const;
    std::optional<std::string> NumberText(const char* name, const char* caller) const;

    bool loaded_ = false;
    std::unique_ptr<pugi::xml_document> document_;
    pugi::xml_node current_;
    int savedCount_ = 0;
    std::array<pugi::xml_node, kMaxPushedNodes> saved_{};
    std::string fileName_ = "-undef-";
};
