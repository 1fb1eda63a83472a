#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Small helpers of the self-test suite: buffer and file comparison, version
// texts and saving a buffer. Every failure is a thrown UpdaterError.

// The suite writes its file names the way the test folders of the camera
// line were always named ("test_data\TestCam01.bin"); both separators name
// the same file, so the name is handed to the file system with '/'.
std::string SuitePath(std::string_view name);

// True when the buffers are equal over size bytes. Otherwise prints a header
// line and one line per differing offset and answers false.
bool CompareBuffers(const uint8_t* found, const uint8_t* expected, size_t size);

// How CompareFiles treats the two lengths.
enum class FileComparison {
    // Both files hold the same bytes, of the same non-zero length.
    Whole,
    // The first file (non-empty) holds what the second begins with: a table
    // loaded into the start of an image, compared with the image written out.
    FirstIsPrefix,
};

// Returns when the files are similar, throws otherwise ("Failed to open files
// for comparison", "Compared files are not similar"; a length mismatch or an
// empty file prints both sizes first).
void CompareFiles(const char* firstFile, const char* secondFile, FileComparison how = FileComparison::Whole);

// Splits "major.minor": without a point both outputs stay as they are; a text
// that ends in its point sets only major. Each part is read as atoi does and
// kept to 8 bits.
void ParseVersionString(const std::string& text, uint8_t* major, uint8_t* minor);

// Writes the buffer to a new (or truncated) file.
void SaveBufferToFile(const char* fileName, const void* data, size_t size);
