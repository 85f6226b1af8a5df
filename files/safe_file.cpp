#include "files/safe_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "files/file_replace.h"

namespace velmor {

namespace fs = std::filesystem;

namespace {

SaveResult failure(SaveStep step, std::string reason) { return SaveResult{step, std::move(reason)}; }

std::string errnoText(int error) {
    // A content writer that stops without a failed call leaves errno alone.
    return error != 0 ? std::strerror(error) : "not all of the data could be written";
}

// Where a save ends up: a symbolic link is followed to the file it leads to
// (which need not exist yet), so that the link itself stays.
fs::path finalTarget(const char* path, fs::file_type type) {
    fs::path p(path);
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
    if (type == fs::file_type::regular) {
        const fs::path real = fs::canonical(p, ec);
        return ec ? p : real;
    }
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
        const fs::path next = fs::read_symlink(p, ec);
        if (ec) break;
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    return p;
}

// The temporary file's name: beside the target, with a number when a file
// of that name is already there (left behind by a save that was cut off).
std::string temporaryName(const std::string& target, int attempt) {
    return attempt == 0 ? target + ".tmp" : target + "." + std::to_string(attempt) + ".tmp";
}

bool present(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// Writes the content, flushes and closes the stream; the stream is closed
// in every case.
SaveResult writeAndClose(std::FILE* f, const WriteContent& content, const FileOps& ops) {
    errno = 0;
    if (!content(f) || std::ferror(f)) {
        const int error = errno;
        ops.close(f);
        return failure(SaveStep::kWrite, errnoText(error));
    }
    if (ops.flush(f) != 0) {
        const int error = errno;
        ops.close(f);
        return failure(SaveStep::kFlush, errnoText(error));
    }
    if (ops.close(f) != 0) return failure(SaveStep::kClose, errnoText(errno));
    return SaveResult{};
}

// A device or a pipe is written in place: there is nothing to lose, and
// replacing it would put a plain file where it was.
SaveResult writeInPlace(const std::string& path, const WriteContent& content, const FileOps& ops) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return failure(SaveStep::kCreate, errnoText(errno));
    return writeAndClose(f, content, ops);
}

}  // namespace

const FileOps& systemFileOps() {
    static const FileOps ops{createNewFile, [](std::FILE* f) { return std::fflush(f); },
                             [](std::FILE* f) { return std::fclose(f); }, replaceFile};
    return ops;
}

std::string describe(const SaveResult& r) {
    const char* step = "";
    switch (r.failed) {
        case SaveStep::kNone: return "";
        case SaveStep::kOpenTarget: step = "opening the existing file for writing"; break;
        case SaveStep::kCreate: step = "creating the file"; break;
        case SaveStep::kWrite: step = "writing"; break;
        case SaveStep::kFlush: step = "flushing"; break;
        case SaveStep::kClose: step = "closing"; break;
        case SaveStep::kReplace: step = "replacing the old file"; break;
    }
    return std::string(step) + " failed: " + r.reason;
}

bool failedToStart(const SaveResult& r) { return r.failed == SaveStep::kOpenTarget || r.failed == SaveStep::kCreate; }

SaveResult saveFile(const char* path, const WriteContent& content, const FileOps& ops) {
    if (*path == '\0') return failure(SaveStep::kCreate, std::strerror(ENOENT));
    std::error_code ec;
    const fs::file_type type = fs::status(path, ec).type();
    // Only a plain file, or a name that is free, is replaced. Anything else
    // (a device such as /dev/null, a pipe, a folder, which the system then
    // refuses to open) is written in place. A name that cannot be looked at
    // goes on to fail with the system's reason when the temporary file is
    // created.
    if (type != fs::file_type::regular && type != fs::file_type::not_found && type != fs::file_type::none)
        return writeInPlace(path, content, ops);
    const std::string target = finalTarget(path, type).string();

    // A file that could not be written in place (read-only, or locked by
    // another program) is not replaced either.
    if (type == fs::file_type::regular) {
        std::FILE* existing = std::fopen(target.c_str(), "r+b");
        if (!existing) return failure(SaveStep::kOpenTarget, errnoText(errno));
        std::fclose(existing);
    }

    std::string temporary;
    std::string reason;
    std::FILE* f = nullptr;
    for (int attempt = 0; attempt < 100 && !f; ++attempt) {
        temporary = temporaryName(target, attempt);
        if (present(temporary)) continue;
        f = ops.createNew(temporary.c_str(), reason);
        // Another program may have taken the name meanwhile: try the next.
        if (!f && !present(temporary)) break;
    }
    if (!f) return failure(SaveStep::kCreate, reason.empty() ? "no free name for a temporary file" : reason);

    SaveResult result = writeAndClose(f, content, ops);
    if (result.ok()) {
        // The new file keeps the old one's permissions.
        if (type == fs::file_type::regular)
            fs::permissions(temporary, fs::status(target, ec).permissions(), fs::perm_options::replace, ec);
        // Looked at once more, on its own: what took the target's place
        // meanwhile is not replaced either.
        const fs::file_type now = fs::status(target, ec).type();
        if (now != fs::file_type::regular && now != fs::file_type::not_found)
            result = failure(SaveStep::kReplace, "not a plain file");
        else if (!ops.replace(temporary.c_str(), target.c_str(), reason))
            result = failure(SaveStep::kReplace, reason);
    }
    if (!result.ok()) std::remove(temporary.c_str());
    return result;
}

}  // namespace velmor
