#include "md5.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

// The digest as an independent implementation computes it.
std::string ReferenceDigest(const std::vector<std::uint8_t>& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr), 1);
    std::string text;
    char hex[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", digest[i]);
        text += hex;
    }
    return text;
}

std::string Digest(const std::vector<std::uint8_t>& bytes)
{
    MD5 md5;
    md5.Update(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return md5.Finalize().HexDigest();
}

TEST(MD5Test, MatchesTheRfc1321TestSuite)
{
    const struct {
        std::string text;
        std::string digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(MD5(c.text).HexDigest(), c.digest);
        EXPECT_EQ(MD5(c.text.data(), static_cast<std::uint32_t>(c.text.size())).HexDigest(), c.digest);
        EXPECT_EQ(md5Hex(c.text), c.digest);
    }
}

// Sizes around the 64-byte block and the 56-byte padding boundary, and
// around larger powers of two.
TEST(MD5Test, AgreesWithAnIndependentImplementationAroundBlockBoundaries)
{
    std::vector<std::size_t> sizes;
    for (std::size_t n = 0; n <= 200; ++n) {
        sizes.push_back(n);
    }
    for (std::size_t base : {1024u, 4096u, 65536u, 1048576u}) {
        sizes.insert(sizes.end(), {base - 1, base, base + 1});
    }
    sizes.push_back(3 * 1048576 + 55);
    for (std::size_t size : sizes) {
        SCOPED_TRACE(size);
        const auto bytes = RandomBytes(size, static_cast<std::uint32_t>(size) + 17);
        EXPECT_EQ(Digest(bytes), ReferenceDigest(bytes));
    }
}

TEST(MD5Test, PiecesGiveTheSameDigestAsOneUpdate)
{
    const auto bytes = RandomBytes(1000, 4711);
    const std::string whole = Digest(bytes);
    ASSERT_EQ(whole, ReferenceDigest(bytes));

    for (std::size_t piece : {1u, 7u, 55u, 56u, 63u, 64u, 65u, 128u, 999u}) {
        SCOPED_TRACE(piece);
        MD5 md5;
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            const std::size_t n = std::min(piece, bytes.size() - at);
            md5.Update(reinterpret_cast<const char*>(bytes.data() + at), static_cast<std::uint32_t>(n));
        }
        EXPECT_EQ(md5.Finalize().HexDigest(), whole);
    }

    // Uneven pieces, including empty ones, crossing block edges at every
    // offset.
    MD5 md5;
    std::size_t at = 0;
    for (std::size_t n = 0; at < bytes.size(); ++n) {
        const std::size_t take = std::min(n % 70, bytes.size() - at);
        md5.Update(std::span(bytes.data() + at, take));
        at += take;
    }
    EXPECT_EQ(md5.Finalize().HexDigest(), whole);
}

TEST(MD5Test, DigestIsFixedOnlyByFinalize)
{
    MD5 md5;
    md5.Update("abc", 3);
    EXPECT_EQ(md5.HexDigest(), "");

    const std::string digest = md5.Finalize().HexDigest();
    EXPECT_EQ(digest, "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5.Finalize().HexDigest(), digest);
    md5.Update("more", 4);
    EXPECT_EQ(md5.HexDigest(), digest);
}

}  // namespace
