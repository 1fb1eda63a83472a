// The content version of the camera's user-set XML files, as info FACTORYSETS
// and info USETS report it, against small documents, malformed ones included.

#include "emu_dir.h"
#include "fapi_test_support.h"

#include <gtest/gtest.h>

namespace {

using fapi_test::Capture;
using fapi_test::Outcome;
using fapi_test::Printed;
using fapi_test::TestUpdater;
using zvtest::EmuDir;

constexpr std::int32_t kFactorySets = 200;
constexpr std::int32_t kUserSets = 205;
const std::string kNotDefined = "GetVersionFactorySet EROR: factory set version is not defined";
const std::string kNotXml = "XML_Browser_ERR: XMLBrowser::OpenFromMemory failed()";

class FactoryUserSetTest : public ::testing::Test {
protected:
    FactoryUserSetTest() { emu.AddCamera("KV410XX-B"); }

    void Store(const std::string& file, const std::string& content)
    {
        emu.State().WriteFfsFile(emu.CameraId(0), file, std::vector<std::uint8_t>(content.begin(), content.end()));
    }

    Outcome Version(std::int32_t type, std::string& version)
    {
        TestUpdater u;
        u.SetFirmwareType(type);
        return Capture([&] { version = u.GetCurrentFirmwareVersion(); });
    }

    EmuDir emu;
};

TEST_F(FactoryUserSetTest, TheVersionIsTheContentVersionBelowTheRootElement)
{
    struct Case {
        const char* what;
        std::string xml;
        std::string version;
        std::string error;  // its beginning
    };
    const Case cases[] = {
        {"plain", "<UserSetFactory><content_version>1.2</content_version><set id=\"0\"/></UserSetFactory>", "1.2", ""},
        {"declaration and comment first",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- factory -->\n<Sets>\n  <UserSet/>\n"
         "  <content_version>3.0.1</content_version>\n</Sets>\n",
         "3.0.1", ""},
        {"the first of two", "<a><content_version>7</content_version><content_version>8</content_version></a>", "7",
         ""},
        {"none", "<a><version>1.2</version></a>", "", kNotDefined},
        {"empty", "<a><content_version></content_version></a>", "", kNotDefined},
        {"self-closed", "<a><content_version/></a>", "", kNotDefined},
        {"deeper than the root's children", "<a><group><content_version>9</content_version></group></a>", "",
         kNotDefined},
        {"root element only", "<a/>", "", kNotDefined},
        {"unclosed element", "<a><content_version>1.2</a>", "", kNotXml},
        // The parser takes more than one top-level element; the first counts.
        {"two top-level elements", "<a/><b><content_version>5</content_version></b>", "", kNotDefined},
        {"not XML", "content_version=1.2", "", kNotXml},
        {"blank", "   \n", "", kNotXml},
        {"cut short", "<a><content_version>1.2</content_ver", "", kNotXml},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Store("UserSetFactory", c.xml);
        std::string version;
        const Outcome o = Version(kFactorySets, version);
        EXPECT_TRUE(o.error.starts_with(c.error)) << o.error;
        EXPECT_EQ(o.error.empty(), c.error.empty()) << o.error;
        EXPECT_EQ(version, c.version);
    }
}

TEST_F(FactoryUserSetTest, EachTypeReadsItsOwnFile)
{
    std::string version;
    EXPECT_EQ(Version(kFactorySets, version).error, "GetVersionFactorySet EROR: Factory set XML is not stored in FFS");
    EXPECT_EQ(Version(kUserSets, version).error, "GetVersionFactorySet EROR: Factory set XML is not stored in FFS");

    Store("UserSetFactory", "<f><content_version>1.0</content_version></f>");
    Store("UserSets", "<u><content_version>2.4</content_version></u>");
    EXPECT_EQ(Version(kFactorySets, version).error, "");
    EXPECT_EQ(version, "1.0");
    EXPECT_EQ(Version(kUserSets, version).error, "");
    EXPECT_EQ(version, "2.4");
}

TEST_F(FactoryUserSetTest, TheVersionMustBeShorterThanTheCallersText)
{
    TestUpdater u;
    Printed([&] { u.Open(); });
    struct Case {
        std::string text;
        std::size_t capacity;
        bool fits;
    };
    const Case cases[] = {
        {"1.2", 4, true},
        {"1.23", 4, false},
        {std::string(99, '9'), FW_Updater_FAPI::kVersionTextCapacity, true},
        {std::string(100, '9'), FW_Updater_FAPI::kVersionTextCapacity, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.size());
        Store("UserSetFactory", "<f><content_version>" + c.text + "</content_version></f>");
        std::string version;
        const Outcome o = Capture([&] { version = u.GetUserSetFactoryVersion(c.capacity); });
        EXPECT_EQ(o.error, c.fits ? ""
                                  : "GetVersionFactorySet EROR: provided buffer is too small for factory set version "
                                    "string");
        EXPECT_EQ(version, c.fits ? c.text : "");
    }
}

}  // namespace
