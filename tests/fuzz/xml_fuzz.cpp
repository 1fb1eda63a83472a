// The XML browser over a document from the camera: loaded, walked depth
// first and read node by node.

#include "fuzz_target.h"
#include "xml_browser.h"

#include <exception>

ZV_FUZZ_TARGET(xml)
{
    XMLBrowser browser;
    try {
        browser.OpenFromMemory(data, static_cast<std::uint32_t>(size));
    } catch (const std::exception&) {
        return false;
    }
    try {
        if (!browser.GoRoot()) {
            return true;
        }
        // Depth first, a bounded number of steps.
        int depth = 0;
        for (int step = 0; step < 10000; ++step) {
            (void)browser.GetNodeName();
            (void)browser.GetNodeText();
            (void)browser.GetAttribute("name");
            if (depth < XMLBrowser::kMaxPushedNodes - 1 && browser.GoChild()) {
                ++depth;
                continue;
            }
            while (!browser.GoNext()) {
                if (depth == 0 || !browser.GoParent()) {
                    return true;
                }
                --depth;
            }
        }
        browser.GoRoot();
        (void)browser.GoNodeByName("content_version", false);
        return true;
    } catch (const std::exception&) {
        return true;  // a node the browser refuses to read, not a refused document
    }
}
