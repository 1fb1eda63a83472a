#pragma once

// The state directory of the emulated cameras. Layout:
//   <root>/hooks.txt            library-wide test hooks (see hooks.h)
//   <root>/trace.log            call trace, appended while the "trace" hook is set
//   <root>/camNNNN/camera.txt   one camera (CameraRecord); cameras are indexed
//                               in the order of their folder names
//   <root>/camNNNN/hooks.txt    test hooks of that camera
//   <root>/camNNNN/ffs/<name>   its flash-file-system files (name escaped)
// Every write replaces its file atomically, so an interrupted run leaves the
// old or the new content, never a mix.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "zvemu/camera_record.h"

namespace zvemu {

class StateDir {
public:
    explicit StateDir(std::filesystem::path root);

    // ZVAPI_EMULATOR_DIR, else the per-user default.
    static std::filesystem::path FromEnvironment();

    const std::filesystem::path& Root() const { return root_; }

    std::vector<std::string> CameraIds() const;  // sorted, so in index order
    bool HasCamera(const std::string& id) const;
    std::optional<CameraRecord> LoadCamera(const std::string& id) const;
    void SaveCamera(const std::string& id, const CameraRecord& record) const;
    std::string AddCamera(const CameraRecord& record) const;  // answers the new id
    void RemoveAll() const;                                   // cameras, hooks and trace

    std::optional<std::vector<uint8_t>> ReadFfsFile(const std::string& id, const std::string& name) const;
    std::optional<uint64_t> FfsFileSize(const std::string& id, const std::string& name) const;
    void WriteFfsFile(const std::string& id, const std::string& name, std::span<const uint8_t> bytes) const;
    // The new content in pieces, written straight from where they are.
    void WriteFfsFile(const std::string& id, const std::string& name,
                      std::span<const std::span<const uint8_t>> pieces) const;
    // Up to out.size() bytes of the file from the offset; answers how many
    // there were, nothing when the file does not exist.
    std::optional<size_t> ReadFfsBytes(const std::string& id, const std::string& name, uint64_t offset,
                                       std::span<uint8_t> out) const;
    // Changes a few bytes of an existing file in place (durably).
    void UpdateFfsBytes(const std::string& id, const std::string& name, uint64_t offset,
                        std::span<const uint8_t> bytes) const;
    std::vector<std::pair<std::string, uint64_t>> ListFfsFiles(const std::string& id) const;

    // Hook lines of a camera, or the library-wide ones for an empty id.
    std::vector<std::string> LoadHooks(const std::string& id) const;
    void SaveHooks(const std::string& id, const std::vector<std::string>& lines) const;

    // A small file of the directory (its path relative to the root) as `read`
    // answers it (nothing: it does not exist), or as it was last read while
    // nothing changed in its folder. `read` defaults to reading the bytes.
    using FileReader = std::optional<std::vector<uint8_t>> (*)(const std::filesystem::path&);
    std::optional<std::vector<uint8_t>> ReadSmallFile(const std::filesystem::path& relative,
                                                      FileReader read = nullptr) const;

    std::filesystem::path TracePath() const { return root_ / "trace.log"; }
    void AppendTrace(const std::string& line) const;

private:
    std::filesystem::path CameraDir(const std::string& id) const { return root_ / id; }
    std::filesystem::path HookPath(const std::string& id) const;

    std::filesystem::path root_;
};

// Flash-file-system names are stored as file names: letters, digits, '_',
// '-' and '.' (not leading) stay, every other byte becomes %XX.
std::string EscapeFfsName(const std::string& name);
std::string UnescapeFfsName(const std::string& stored);

// A name the camera accepts: 1 to kMaxFfsNameLength printable ASCII bytes.
bool IsValidFfsName(std::string_view name);

}  // namespace zvemu
