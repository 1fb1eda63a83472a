// The camera keeps its factory user set and its user sets as XML files in its
// flash file system; their content version is the text of the element
// content_version right below the document's root element.

#include "ffs_file_table.h"
#include "fw_updater_fapi.h"
#include "xml_browser.h"
#include "zeroed_buffer.h"

#include <array>
#include <new>

namespace {

constexpr std::string_view kFactorySetFile = "UserSetFactory";
constexpr std::string_view kUserSetsFile = "UserSets";
constexpr int kVersionNodeTextSize = 260;

}  // namespace

std::string FW_Updater_FAPI::GetUserSetFactoryVersion(std::size_t capacity)
{
    return GetVersionFactorySet(kFactorySetFile, capacity);
}

std::string FW_Updater_FAPI::GetUserSetsVersion(std::size_t capacity)
{
    return GetVersionFactorySet(kUserSetsFile, capacity);
}

std::string FW_Updater_FAPI::GetVersionFactorySet(std::string_view ffsFileName, std::size_t capacity)
{
    zvAPIplus_Camera& cam = camera.Camera();
    XMLBrowser browser;
    const std::string name(ffsFileName);
    cam.SetFFSFileName(name.c_str());
    // The camera applies the access key set last; reads of these files need
    // none of their own.
    const std::uint32_t size = static_cast<std::uint32_t>(cam.GetFFSFileSize());
    if (size == 0) {
        throw UpdaterError("GetVersionFactorySet EROR: Factory set XML is not stored in FFS");
    }
    if (size > kMaxFfsFileSize) {
        throw UpdaterError("GetVersionFactorySet EROR: Memory allocation error - dump buffer");
    }
    cam.SetFFSFileOffset(0);
    std::vector<std::uint8_t> xml =
        ZeroedBuffer(size, "GetVersionFactorySet EROR: Memory allocation error - dump buffer");
    cam.GetReadFileFFS(reinterpret_cast<char*>(xml.data()), static_cast<int>(size));

    browser.OpenFromMemory(xml.data(), size);
    browser.GoRoot();
    if (!browser.GoChild()) {
        throw UpdaterError("GetVersionFactorySet EROR: parsing UserSet XML failed, structure is not valid");
    }
    std::array<char, kVersionNodeTextSize> text{};
    browser.GetNodeData("content_version", "content_version", text.data(), kVersionNodeTextSize);
    const std::string version(text.data());
    if (version.empty()) {
        throw UpdaterError("GetVersionFactorySet EROR: factory set version is not defined");
    }
    if (version.size() >= capacity) {
        throw UpdaterError("GetVersionFactorySet EROR: provided buffer is too small for factory set version string");
    }
    return version;
}
