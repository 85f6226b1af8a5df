// Saving through a temporary file: whatever step fails, the old file stays
// byte for byte as it was, no temporary file is left behind, and the result
// names the step and the system's reason.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <tuple>

#include "files/pattern_file.h"
#include "files/safe_file.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

std::string readAll(const fs::path& p) { return {std::istreambuf_iterator<char>(std::ifstream(p, std::ios::binary).rdbuf()), {}}; }
void writeAll(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
// Content that writes `b` and reports whether the write was whole.
WriteContent writing(std::string b) {
    return [b](std::FILE* f) { return std::fwrite(b.data(), 1, b.size(), f) == b.size(); };
}

class SafeFile : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::permissions(dir, fs::perms(0755));
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string at(const char* name) const { return (dir / name).string(); }
    Names entries() const {
        Names n;
        for (const auto& e : fs::directory_iterator(dir)) n.insert(e.path().filename());
        return n;
    }
    void expectOnlyTheOldFile(const std::string& old) const {
        EXPECT_TRUE(entries() == Names{"song.pat"} && readAll(dir / "song.pat") == old) << "changed, or a file left";
    }

    const fs::path dir = fs::path(::testing::TempDir()) / ("velmor-safe-file-" + std::to_string(getpid()));
};

// Failures injected at each step; the operations left null are the system's.
std::FILE* refuseCreate(const char*, std::string& reason) {
    reason = "injected: cannot create";
    return nullptr;
}
// A read-only stream: every write to it fails and marks it.
std::FILE* createReadOnly(const char* path, std::string& reason) {
    std::FILE* f = systemFileOps().createNew(path, reason);
    return f ? std::freopen(path, "rb", f) : nullptr;
}
int flushFull(std::FILE*) {
    errno = ENOSPC;
    return EOF;
}
int closeFails(std::FILE* f) {
    std::fclose(f);
    errno = EIO;
    return EOF;
}
// The temporary file is gone by the time it is to replace the target.
std::FILE* createVanishing(const char* path, std::string& reason) {
    std::FILE* f = systemFileOps().createNew(path, reason);
    fs::remove(path);
    return f;
}
// All the content, or 100 bytes: reported short, or just stopped, or written to a failed stream unnoticed.
enum class Writes { kWhole, kReportsShort, kStopsQuietly, kIgnoresFailure };
// clang-format off
const struct { SaveStep step; const char* reason; Writes writes; FileOps ops; } kInjected[] = {
    {SaveStep::kCreate, "injected: cannot create", Writes::kWhole, {refuseCreate, nullptr, nullptr, nullptr}},
    {SaveStep::kWrite, "No space left on device", Writes::kReportsShort, {nullptr, nullptr, nullptr, nullptr}},
    {SaveStep::kWrite, "not all of the data could be written", Writes::kStopsQuietly, {nullptr, nullptr, nullptr, nullptr}},
    {SaveStep::kWrite, "Bad file descriptor", Writes::kIgnoresFailure, {createReadOnly, nullptr, nullptr, nullptr}},
    {SaveStep::kFlush, "No space left on device", Writes::kWhole, {nullptr, flushFull, nullptr, nullptr}},
    {SaveStep::kClose, "Input/output error", Writes::kWhole, {nullptr, nullptr, closeFails, nullptr}},
    {SaveStep::kReplace, "No such file or directory", Writes::kWhole, {createVanishing, nullptr, nullptr, nullptr}}
};
// clang-format on
// Counts the closes: every stream that was opened is closed once.
int closes = 0, (*innerClose)(std::FILE*) = nullptr;
int countedClose(std::FILE* f) {
    ++closes;
    return innerClose(f);
}

TEST_F(SafeFile, EveryFailedStepKeepsTheOldFileAndLeavesNoTemporaryFile) {
    const std::string old(2359, 'a'), fresh(12288, 'q');
    const FileOps& sys = systemFileOps();
    for (const auto& c : kInjected) {
        for (const bool existing : {true, false}) {
            SCOPED_TRACE(::testing::Message() << c.reason << (existing ? ", over an existing file" : ", a new name"));
            fs::remove(dir / "song.pat");
            if (existing) writeAll(dir / "song.pat", old);
            closes = 0, innerClose = c.ops.close ? c.ops.close : sys.close;
            const FileOps ops{c.ops.createNew ? c.ops.createNew : sys.createNew, c.ops.flush ? c.ops.flush : sys.flush, countedClose,
                              c.ops.replace ? c.ops.replace : sys.replace};
            const SaveResult r = saveFile(
                at("song.pat").c_str(),
                [&](std::FILE* f) {
                    if (c.writes == Writes::kWhole) return writing(fresh)(f);
                    std::fwrite(fresh.data(), 1, 100, f);
                    if (c.writes == Writes::kReportsShort) errno = ENOSPC;
                    return c.writes == Writes::kIgnoresFailure;
                },
                ops);
            EXPECT_EQ(std::tuple(r.failed, r.reason, failedToStart(r), closes),
                      std::tuple(c.step, std::string(c.reason), c.step == SaveStep::kCreate, c.step == SaveStep::kCreate ? 0 : 1));
            EXPECT_NE(describe(r).find(c.reason), std::string::npos) << describe(r);
            if (existing)
                expectOnlyTheOldFile(old);
            else
                EXPECT_EQ(entries(), Names{});
        }
    }
}

// Meanwhile another program takes the next free temporary name, or puts a
// pipe in the place of the file "later".
std::FILE* createMeanwhile(const char* path, std::string& reason) {
    const std::string name = path, target = name.substr(0, name.size() - 4);
    if (name.ends_with(".2.tmp")) writeAll(path, "taken meanwhile");
    if (target.ends_with("later") && fs::remove(target)) mkfifo(target.c_str(), 0600);
    return systemFileOps().createNew(path, reason);
}

TEST_F(SafeFile, ReplacesTheWholeFileKeepsPermissionsFollowsLinksAndWritesPipesInPlace) {
    const FileOps ops{createMeanwhile, systemFileOps().flush, systemFileOps().close, systemFileOps().replace};
    const fs::perms perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    writeAll(dir / "song.pat", std::string(12288, 'x'));
    fs::permissions(dir / "song.pat", perms);
    for (const char* name : {"song.pat.tmp", "song.pat.1.tmp"}) writeAll(dir / name, name);
    const std::string fresh(2359, 'b');
    const SaveResult r = saveFile(at("song.pat").c_str(), writing(fresh), ops);
    EXPECT_TRUE(r.ok() && describe(r).empty() && readAll(dir / "song.pat") == fresh) << describe(r);
    EXPECT_EQ(fs::status(dir / "song.pat").permissions(), perms);
    EXPECT_EQ(readAll(dir / "song.pat.tmp") + readAll(dir / "song.pat.1.tmp") + readAll(dir / "song.pat.2.tmp"),
              "song.pat.tmpsong.pat.1.tmptaken meanwhile");
    EXPECT_TRUE(saveFile(at("empty").c_str(), writing("")).ok() && fs::file_size(dir / "empty") == 0);
    EXPECT_EQ(saveFile("", writing("x")).failed, SaveStep::kCreate) << "no name at all";

    fs::create_directories(dir / "real");
    fs::rename(dir / "song.pat", dir / "real" / "song.pat");
    fs::create_symlink("real/song.pat", dir / "song.pat");
    fs::create_symlink("real/later.pat", dir / "dangling.pat");
    // A pipe, also through a link as /dev/stdout leads to one.
    ASSERT_EQ(mkfifo(at("pipe").c_str(), 0600), 0);
    fs::create_symlink("pipe", dir / "out");
    const int reader = open(at("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    for (const char* name : {"song.pat", "dangling.pat", "pipe", "out"}) EXPECT_TRUE(saveFile(at(name).c_str(), writing(name), ops).ok()) << name;
    char got[64] = {};
    EXPECT_TRUE(read(reader, got, sizeof got) == 7 && close(reader) == 0 && std::string(got) == "pipeout") << got;
    EXPECT_EQ(readAll(dir / "real" / "song.pat") + readAll(dir / "real" / "later.pat"), "song.patdangling.pat");
    // Nor is a pipe that took a plain file's place while the new file was written; a folder is refused.
    writeAll(dir / "later", "plain");
    EXPECT_EQ(saveFile(at("later").c_str(), writing("x"), ops).failed, SaveStep::kReplace);
    fs::create_directories(dir / "folder.pat");
    const SaveResult folder = saveFile(at("folder.pat").c_str(), writing("x"));
    EXPECT_EQ(folder.failed, SaveStep::kCreate);
    EXPECT_EQ(folder.reason, std::strerror(EISDIR));
    EXPECT_TRUE(fs::is_symlink(dir / "song.pat") && fs::is_symlink(dir / "dangling.pat") && fs::is_fifo(dir / "pipe") && fs::is_fifo(dir / "later") &&
                fs::is_directory(dir / "folder.pat"));
    EXPECT_EQ(entries(), (Names{"dangling.pat", "empty", "folder.pat", "later", "out", "pipe", "real", "song.pat", "song.pat.tmp", "song.pat.1.tmp",
                                "song.pat.2.tmp"}));
}

// Real failures, made by a forked child that gives up root's rights or limits
// the size of its files (failing writes as a full disk would): the step that
// failed with the system's reason `error`, -1 when it could not be set up.
int stepInChild(bool asNobody, int error, const std::function<SaveResult()>& save) {
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{1024, 1024};
        if (asNobody && getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
        if (!asNobody && (std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &limit) != 0)) _exit(100);
        const SaveResult r = save();
        _exit(static_cast<int>(r.reason == std::strerror(error) ? r.failed : SaveStep::kNone));
    }
    int status = 0;
    const bool exited = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status);
    return exited && WEXITSTATUS(status) != 100 ? WEXITSTATUS(status) : -1;
}

TEST_F(SafeFile, AReadOnlyFolderOrFileOrAFullDiskKeepsTheOldFile) {
    const auto s = testing::startedSynth();
    const std::string target = at("song.pat");
    ASSERT_EQ(writePatternFile(s->score.doc, target.c_str()), 1);
    const std::string old = readAll(target);
    s->score.doc.units[0].cutoff = 9999;
    const auto savePattern = [&] {
        SaveResult r;
        writePatternFile(s->score.doc, target.c_str(), &r);
        return r;
    };
    // The file could be written in place, but the folder takes no new file.
    fs::permissions(target, fs::perms(0666));
    fs::permissions(dir, fs::perms(0555));
    const int readOnlyFolder = stepInChild(true, EACCES, savePattern);
    fs::permissions(dir, fs::perms(0755));
    if (readOnlyFolder < 0) GTEST_SKIP() << "cannot give up root's rights here";
    EXPECT_EQ(readOnlyFolder, static_cast<int>(SaveStep::kCreate));
    fs::permissions(target, fs::perms(0444));
    EXPECT_EQ(stepInChild(true, EACCES, savePattern), static_cast<int>(SaveStep::kOpenTarget));
    fs::permissions(target, fs::perms(0644));
    // A pattern file, held in the stream's buffer, fails when it is flushed;
    // a longer content while it is written.
    EXPECT_EQ(stepInChild(false, EFBIG, savePattern), static_cast<int>(SaveStep::kFlush));
    EXPECT_EQ(stepInChild(false, EFBIG, [&] { return saveFile(target.c_str(), writing(std::string(529148, 'f'))); }),
              static_cast<int>(SaveStep::kWrite));
    expectOnlyTheOldFile(old);
}

}  // namespace
}  // namespace velmor
