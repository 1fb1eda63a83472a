#include "zvemu/state_dir.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>

#include "posix_file.h"

namespace fs = std::filesystem;

namespace zvemu {
namespace {

bool IsCameraFolderName(const std::string& name)
{
    if (name.size() != 7 || name.compare(0, 3, "cam") != 0) {
        return false;
    }
    return std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::span<const uint8_t> AsBytes(const std::string& text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string AsText(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t eol = text.find('\n', start);
        if (eol == std::string::npos) {
            eol = text.size();
        }
        std::string line = text.substr(start, eol - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line[0] != '#') {
            lines.push_back(line);
        }
        start = eol + 1;
    }
    return lines;
}

bool IsPlainNameChar(char c, bool first)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-') {
        return true;
    }
    return c == '.' && !first;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// What was read from the state directory, answered again from memory while
// the folders it came from stay unchanged: the library and the emulated USB3
// camera look at the hook files, the camera list and the camera records on
// nearly every call, and a run makes hundreds of calls. Whatever changed in a
// watched folder, in any process, drops everything kept.
class ReadCache {
public:
    static ReadCache& Instance()
    {
        static ReadCache* cache = new ReadCache;  // never destroyed: used until the process ends
        return *cache;
    }

    std::optional<std::vector<uint8_t>> File(const fs::path& path, StateDir::FileReader read)
    {
        std::lock_guard lock(mutex_);
        DropIfChanged();
        const std::string key = path.string();
        if (auto it = files_.find(key); it != files_.end()) {
            return it->second;
        }
        const bool watched = Watch(path.parent_path());
        auto bytes = read(path);
        if (watched) {
            files_.emplace(key, bytes);
        }
        return bytes;
    }

    bool Exists(const fs::path& path)
    {
        std::lock_guard lock(mutex_);
        DropIfChanged();
        return ExistsLocked(path);
    }

    std::vector<std::string> CameraIds(const fs::path& root)
    {
        std::lock_guard lock(mutex_);
        DropIfChanged();
        const std::string key = root.string();
        if (auto it = cameraIds_.find(key); it != cameraIds_.end()) {
            return it->second;
        }
        bool watched = Watch(root);
        std::vector<std::string> ids;
        std::error_code ec;
        for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (IsCameraFolderName(name)) {
                bool folderWatched = false;
                if (ExistsLocked(it->path() / "camera.txt", &folderWatched)) {
                    ids.push_back(name);
                }
                watched = watched && folderWatched;
            }
        }
        std::sort(ids.begin(), ids.end());
        if (watched && !ec) {
            cameraIds_.emplace(key, ids);
        }
        return ids;
    }

private:
    void DropIfChanged()
    {
        if (watch_.Changed()) {
            watched_.clear();
            files_.clear();
            exists_.clear();
            cameraIds_.clear();
        }
    }

    // A relative path names another folder once the working directory
    // changes: only folders named by an absolute path are kept.
    bool Watch(const fs::path& folder)
    {
        if (!folder.is_absolute()) {
            return false;
        }
        const std::string key = folder.string();
        if (watched_.count(key) != 0) {
            return true;
        }
        if (!watch_.Watch(folder)) {
            return false;
        }
        watched_.insert(key);
        return true;
    }

    bool ExistsLocked(const fs::path& path, bool* kept = nullptr)
    {
        const std::string key = path.string();
        if (auto it = exists_.find(key); it != exists_.end()) {
            if (kept) {
                *kept = true;
            }
            return it->second;
        }
        const bool watched = Watch(path.parent_path());
        const bool exists = fs::exists(path);
        if (watched) {
            exists_.emplace(key, exists);
        }
        if (kept) {
            *kept = watched;
        }
        return exists;
    }

    std::mutex mutex_;
    posix::FolderWatch watch_;
    std::set<std::string> watched_;
    std::map<std::string, std::optional<std::vector<uint8_t>>> files_;
    std::map<std::string, bool> exists_;
    std::map<std::string, std::vector<std::string>> cameraIds_;
};

}  // namespace

StateDir::StateDir(fs::path root) : root_(std::move(root)) {}

fs::path StateDir::FromEnvironment()
{
    if (const char* dir = std::getenv("ZVAPI_EMULATOR_DIR"); dir && *dir) {
        return fs::path(dir);
    }
    return posix::PerUserStateRoot();
}

std::vector<std::string> StateDir::CameraIds() const
{
    return ReadCache::Instance().CameraIds(root_);
}

bool StateDir::HasCamera(const std::string& id) const
{
    return IsCameraFolderName(id) && ReadCache::Instance().Exists(CameraDir(id) / "camera.txt");
}

std::optional<std::vector<uint8_t>> StateDir::ReadSmallFile(const fs::path& relative, FileReader read) const
{
    return ReadCache::Instance().File(root_ / relative, read ? read : posix::ReadWhole);
}

std::optional<CameraRecord> StateDir::LoadCamera(const std::string& id) const
{
    if (!IsCameraFolderName(id)) {
        return std::nullopt;
    }
    auto bytes = ReadSmallFile(fs::path(id) / "camera.txt");
    if (!bytes) {
        return std::nullopt;
    }
    return Parse(AsText(*bytes));
}

void StateDir::SaveCamera(const std::string& id, const CameraRecord& record) const
{
    fs::create_directories(CameraDir(id));
    posix::WriteAtomically(CameraDir(id) / "camera.txt", AsBytes(Serialize(record)));
}

std::string StateDir::AddCamera(const CameraRecord& record) const
{
    fs::create_directories(root_);
    unsigned next = 0;
    std::error_code ec;
    for (fs::directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (IsCameraFolderName(name)) {
            next = std::max(next, static_cast<unsigned>(std::stoul(name.substr(3))) + 1);
        }
    }
    if (next > 9999) {
        throw std::runtime_error("too many cameras in " + root_.string());
    }
    char id[16];
    std::snprintf(id, sizeof id, "cam%04u", next);
    SaveCamera(id, record);
    return id;
}

void StateDir::RemoveAll() const
{
    for (const auto& id : CameraIds()) {
        fs::remove_all(CameraDir(id));
    }
    // Folders of cameras that lost their camera.txt go too.
    std::error_code ec;
    std::vector<fs::path> leftovers;
    for (fs::directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec)) {
        if (IsCameraFolderName(it->path().filename().string())) {
            leftovers.push_back(it->path());
        }
    }
    for (const auto& p : leftovers) {
        fs::remove_all(p);
    }
    fs::remove(root_ / "hooks.txt", ec);
    fs::remove(TracePath(), ec);
}

std::optional<std::vector<uint8_t>> StateDir::ReadFfsFile(const std::string& id, const std::string& name) const
{
    return posix::ReadWhole(CameraDir(id) / "ffs" / EscapeFfsName(name));
}

std::optional<uint64_t> StateDir::FfsFileSize(const std::string& id, const std::string& name) const
{
    std::error_code ec;
    const auto size = fs::file_size(CameraDir(id) / "ffs" / EscapeFfsName(name), ec);
    if (ec) {
        return std::nullopt;
    }
    return size;
}

void StateDir::WriteFfsFile(const std::string& id, const std::string& name, std::span<const uint8_t> bytes) const
{
    fs::create_directories(CameraDir(id) / "ffs");
    posix::WriteAtomically(CameraDir(id) / "ffs" / EscapeFfsName(name), bytes);
}

void StateDir::WriteFfsFile(const std::string& id, const std::string& name,
                            std::span<const std::span<const uint8_t>> pieces) const
{
    fs::create_directories(CameraDir(id) / "ffs");
    posix::WriteAtomically(CameraDir(id) / "ffs" / EscapeFfsName(name), pieces);
}

std::optional<size_t> StateDir::ReadFfsBytes(const std::string& id, const std::string& name, uint64_t offset,
                                             std::span<uint8_t> out) const
{
    return posix::ReadAt(CameraDir(id) / "ffs" / EscapeFfsName(name), offset, out);
}

void StateDir::UpdateFfsBytes(const std::string& id, const std::string& name, uint64_t offset,
                              std::span<const uint8_t> bytes) const
{
    posix::WriteInPlace(CameraDir(id) / "ffs" / EscapeFfsName(name), offset, bytes);
}

std::vector<std::pair<std::string, uint64_t>> StateDir::ListFfsFiles(const std::string& id) const
{
    std::vector<std::pair<std::string, uint64_t>> files;
    std::error_code ec;
    for (fs::directory_iterator it(CameraDir(id) / "ffs", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string stored = it->path().filename().string();
        if (stored.find(".tmp.") != std::string::npos) {
            continue;
        }
        files.emplace_back(UnescapeFfsName(stored), it->file_size());
    }
    std::sort(files.begin(), files.end());
    return files;
}

fs::path StateDir::HookPath(const std::string& id) const
{
    return id.empty() ? root_ / "hooks.txt" : CameraDir(id) / "hooks.txt";
}

std::vector<std::string> StateDir::LoadHooks(const std::string& id) const
{
    auto bytes = ReadSmallFile(id.empty() ? fs::path("hooks.txt") : fs::path(id) / "hooks.txt");
    if (!bytes) {
        return {};
    }
    return SplitLines(AsText(*bytes));
}

void StateDir::SaveHooks(const std::string& id, const std::vector<std::string>& lines) const
{
    fs::create_directories(id.empty() ? root_ : CameraDir(id));
    if (lines.empty()) {
        std::error_code ec;
        fs::remove(HookPath(id), ec);
        return;
    }
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    posix::WriteAtomically(HookPath(id), AsBytes(text));
}

void StateDir::AppendTrace(const std::string& line) const
{
    posix::AppendLine(TracePath(), line);
}

std::string EscapeFfsName(const std::string& name)
{
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (IsPlainNameChar(c, i == 0)) {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            out += hex;
        }
    }
    return out;
}

std::string UnescapeFfsName(const std::string& stored)
{
    std::string out;
    for (size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '%' && i + 2 < stored.size() && HexValue(stored[i + 1]) >= 0 && HexValue(stored[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(stored[i + 1]) * 16 + HexValue(stored[i + 2]));
            i += 2;
        } else {
            out += stored[i];
        }
    }
    return out;
}

bool IsValidFfsName(std::string_view name)
{
    if (name.empty() || name.size() > kMaxFfsNameLength) {
        return false;
    }
    for (char c : name) {
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

}  // namespace zvemu
