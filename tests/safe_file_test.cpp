// Saving through a temporary file: whatever step fails, the old file stays
// byte for byte as it was, no temporary file is left behind, and the result
// names the step and the system's reason.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "files/pattern_file.h"
#include "files/safe_file.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Content that writes `bytes` and reports whether the write was whole.
WriteContent writing(std::string bytes) {
    return [bytes = std::move(bytes)](std::FILE* f) { return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); };
}

// Content of any length with a recognisable pattern.
std::string pattern(size_t length, char seed) {
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i) s[i] = static_cast<char>(seed + i * 7);
    return s;
}

class SafeFile : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::path(::testing::TempDir()) /
              ("velmor-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    // The names in the folder, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string at(const char* name) const { return (dir / name).string(); }

    fs::path dir;
};

// ---------------------------------------------------------------------------
// Failures injected at each step, over an existing file and over a new name.

// How the content writes: all of it, or it reports a short write, or it
// ignores that its writes failed, or it stops without a failed call.
enum class Writes { kWhole, kReportsShort, kIgnoresFailure, kStopsQuietly };

struct Injected {
    const char* name;
    SaveStep step;
    const char* reason;
    void (*inject)(FileOps& ops);
    Writes writes;
};

const Injected kInjected[] = {
    {"create", SaveStep::kCreate, "injected: cannot create",
     [](FileOps& ops) {
         ops.createNew = [](const char*, std::string& reason) -> std::FILE* {
             reason = "injected: cannot create";
             return nullptr;
         };
     },
     Writes::kWhole},
    {"short write", SaveStep::kWrite, "No space left on device", [](FileOps&) {}, Writes::kReportsShort},
    {"a content that stops", SaveStep::kWrite, "not all of the data could be written", [](FileOps&) {},
     Writes::kStopsQuietly},
    {"a failed write the content did not notice", SaveStep::kWrite, "Bad file descriptor",
     [](FileOps& ops) {
         // The stream is read-only: every write to it fails and marks it.
         ops.createNew = [](const char* path, std::string& reason) -> std::FILE* {
             std::FILE* f = systemFileOps().createNew(path, reason);
             return f ? std::freopen(path, "rb", f) : nullptr;
         };
     },
     Writes::kIgnoresFailure},
    {"flush", SaveStep::kFlush, "No space left on device",
     [](FileOps& ops) {
         ops.flush = [](std::FILE*) {
             errno = ENOSPC;
             return EOF;
         };
     },
     Writes::kWhole},
    {"close", SaveStep::kClose, "Input/output error",
     [](FileOps& ops) {
         ops.close = [](std::FILE* f) {
             std::fclose(f);
             errno = EIO;
             return EOF;
         };
     },
     Writes::kWhole},
    {"replace", SaveStep::kReplace, "injected: cannot replace",
     [](FileOps& ops) {
         ops.replace = [](const char*, const char*, std::string& reason) {
             reason = "injected: cannot replace";
             return false;
         };
     },
     Writes::kWhole},
};

// Counts the closes of the operations it wraps: every stream that was
// opened is closed once, whatever failed.
struct Closes {
    static inline int count = 0;
    static inline int (*inner)(std::FILE*) = nullptr;
    static void wrap(FileOps& ops) {
        count = 0;
        inner = ops.close;
        ops.close = [](std::FILE* f) {
            ++count;
            return inner(f);
        };
    }
};

TEST_F(SafeFile, EveryFailedStepKeepsTheOldFileAndLeavesNoTemporaryFile) {
    const std::string old = pattern(2359, 'a');
    for (const Injected& c : kInjected) {
        for (const bool existing : {true, false}) {
            SCOPED_TRACE(::testing::Message() << c.name << (existing ? ", over an existing file" : ", a new name"));
            fs::remove(dir / "song.pat");
            if (existing) writeAll(dir / "song.pat", old);
            FileOps ops = systemFileOps();
            c.inject(ops);
            Closes::wrap(ops);
            const std::string fresh = pattern(12288, 'q');
            const WriteContent content = [&](std::FILE* f) {
                if (c.writes == Writes::kWhole) return writing(fresh)(f);
                std::fwrite(fresh.data(), 1, 100, f);
                if (c.writes == Writes::kIgnoresFailure) return true;
                if (c.writes == Writes::kReportsShort) errno = ENOSPC;
                return false;
            };

            const SaveResult r = saveFile(at("song.pat").c_str(), content, ops);

            EXPECT_EQ(r.failed, c.step);
            EXPECT_EQ(r.reason, c.reason);
            EXPECT_NE(describe(r).find(c.reason), std::string::npos) << describe(r);
            EXPECT_EQ(failedToStart(r), c.step == SaveStep::kCreate);
            EXPECT_EQ(Closes::count, c.step == SaveStep::kCreate ? 0 : 1);
            if (existing) {
                EXPECT_EQ(entries(), std::vector<std::string>{"song.pat"});
                EXPECT_TRUE(readAll(dir / "song.pat") == old) << "the old file was changed";
            } else {
                EXPECT_TRUE(entries().empty()) << "left behind: " << ::testing::PrintToString(entries());
            }
        }
    }
}

TEST_F(SafeFile, ReplacesTheWholeFileAndKeepsItsPermissions) {
    writeAll(dir / "song.pat", pattern(12288, 'x'));
    fs::permissions(dir / "song.pat", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string fresh = pattern(2359, 'b');
    const SaveResult r = saveFile(at("song.pat").c_str(), writing(fresh));
    EXPECT_TRUE(r.ok()) << describe(r);
    EXPECT_EQ(describe(r), "");
    EXPECT_TRUE(readAll(dir / "song.pat") == fresh);
    EXPECT_EQ(fs::status(dir / "song.pat").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entries(), std::vector<std::string>{"song.pat"});

    EXPECT_TRUE(saveFile(at("new.raw").c_str(), writing("")).ok()) << "an empty file is a file too";
    EXPECT_EQ(fs::file_size(dir / "new.raw"), 0u);

    std::string reason;
    EXPECT_FALSE(systemFileOps().replace(at("missing").c_str(), at("new.raw").c_str(), reason));
    EXPECT_EQ(reason, std::strerror(ENOENT));
    EXPECT_EQ(saveFile("", writing("x")).failed, SaveStep::kCreate) << "no name at all";
}

TEST_F(SafeFile, ATemporaryFileLeftBehindIsNotTouched) {
    writeAll(dir / "song.pat.tmp", "from a save that was cut off");
    writeAll(dir / "song.pat.1.tmp", "and another");
    // The name is taken after it was found free: the next one is tried.
    FileOps ops = systemFileOps();
    ops.createNew = [](const char* path, std::string& reason) -> std::FILE* {
        if (std::string(path).ends_with(".2.tmp")) {
            writeAll(path, "taken meanwhile");
            reason = std::strerror(EEXIST);
            return nullptr;
        }
        return systemFileOps().createNew(path, reason);
    };
    const SaveResult r = saveFile(at("song.pat").c_str(), writing("new"), ops);
    EXPECT_TRUE(r.ok()) << describe(r);
    EXPECT_EQ(readAll(dir / "song.pat"), "new");
    EXPECT_EQ(readAll(dir / "song.pat.tmp"), "from a save that was cut off");
    EXPECT_EQ(readAll(dir / "song.pat.1.tmp"), "and another");
    EXPECT_EQ(readAll(dir / "song.pat.2.tmp"), "taken meanwhile");
    EXPECT_EQ(entries().size(), 4u);
}

TEST_F(SafeFile, ALinkStaysALinkAndItsFileIsReplaced) {
    fs::create_directories(dir / "real");
    writeAll(dir / "real" / "song.pat", "old");
    fs::create_symlink("real/song.pat", dir / "song.pat");
    fs::create_symlink("real/later.pat", dir / "dangling.pat");

    EXPECT_TRUE(saveFile(at("song.pat").c_str(), writing("new")).ok());
    EXPECT_TRUE(fs::is_symlink(dir / "song.pat"));
    EXPECT_EQ(readAll(dir / "real" / "song.pat"), "new");

    EXPECT_TRUE(saveFile(at("dangling.pat").c_str(), writing("first")).ok());
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.pat"));
    EXPECT_EQ(readAll(dir / "real" / "later.pat"), "first");
}

TEST_F(SafeFile, APipeIsWrittenInPlaceAndAFolderIsRefused) {
    ASSERT_EQ(mkfifo(at("pipe").c_str(), 0600), 0);
    const int reader = open(at("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(saveFile(at("pipe").c_str(), writing("through the pipe")).ok());
    char got[64] = {};
    EXPECT_EQ(read(reader, got, sizeof got), 16);
    EXPECT_STREQ(got, "through the pipe");
    // Through a link, as /dev/stdout leads to a pipe.
    fs::create_symlink("pipe", dir / "out");
    EXPECT_TRUE(saveFile(at("out").c_str(), writing("linked")).ok());
    EXPECT_EQ(read(reader, got, sizeof got), 6);
    close(reader);
    EXPECT_TRUE(fs::is_fifo(dir / "pipe")) << "the pipe was replaced by a file";

    // A pipe that takes a plain file's place while the new file is written
    // is not replaced either.
    writeAll(dir / "later", "plain");
    FileOps ops = systemFileOps();
    ops.createNew = [](const char* path, std::string& reason) -> std::FILE* {
        const std::string target = std::string(path).substr(0, std::strlen(path) - 4);
        fs::remove(target);
        mkfifo(target.c_str(), 0600);
        return systemFileOps().createNew(path, reason);
    };
    const SaveResult changed = saveFile(at("later").c_str(), writing("x"), ops);
    EXPECT_EQ(changed.failed, SaveStep::kReplace);
    EXPECT_TRUE(fs::is_fifo(dir / "later"));
    fs::remove(dir / "later");
    fs::remove(dir / "out");

    fs::create_directories(dir / "folder.pat");
    const SaveResult r = saveFile(at("folder.pat").c_str(), writing("x"));
    EXPECT_EQ(r.failed, SaveStep::kCreate);
    EXPECT_EQ(r.reason, std::strerror(EISDIR));
    EXPECT_TRUE(fs::is_directory(dir / "folder.pat"));
    EXPECT_EQ(entries(), (std::vector<std::string>{"folder.pat", "pipe"}));
}

// ---------------------------------------------------------------------------
// Real failures of the system. A forked child makes them: it can give up
// root's rights and limit the size of the files it writes without changing
// the test program. The child's exit status is the failed step.

// Runs `save` in a child process, as the user nobody when asked (and
// possible); returns the step that failed, or -1 when the child could not
// be set up.
int stepInChild(bool asNobody, const std::function<SaveStep()>& save) {
    const pid_t child = fork();
    if (child == 0) {
        if (asNobody && getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
        _exit(static_cast<int>(save()));
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) == 100 ? -1 : WEXITSTATUS(status);
}

TEST_F(SafeFile, AReadOnlyFolderOrFileKeepsTheOldFile) {
    const std::string old = pattern(2359, 'r');
    writeAll(dir / "song.pat", old);
    // The file could be written in place, but the folder takes no new file.
    fs::permissions(dir / "song.pat", fs::perms::all, fs::perm_options::replace);
    fs::permissions(dir, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const std::string target = at("song.pat");
    // The step, when the system's reason is the one for missing rights.
    const auto save = [&] {
        const SaveResult r = saveFile(target.c_str(), writing(pattern(4000, 'n')));
        return r.reason == std::strerror(EACCES) ? r.failed : SaveStep::kNone;
    };
    int step = stepInChild(true, save);
    if (step < 0) GTEST_SKIP() << "cannot give up root's rights here";
    EXPECT_EQ(step, static_cast<int>(SaveStep::kCreate)) << "a read-only folder";
    EXPECT_TRUE(readAll(dir / "song.pat") == old);
    EXPECT_EQ(entries(), std::vector<std::string>{"song.pat"});

    // A read-only file in a writable folder is not replaced either.
    fs::permissions(dir, fs::perms::all, fs::perm_options::add);
    fs::permissions(dir / "song.pat", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                    fs::perm_options::replace);
    step = stepInChild(true, save);
    EXPECT_EQ(step, static_cast<int>(SaveStep::kOpenTarget)) << "a read-only file";
    EXPECT_TRUE(readAll(dir / "song.pat") == old);
    EXPECT_EQ(entries(), std::vector<std::string>{"song.pat"});
}

// The limit on the size of a file a process may write fails the writes as a
// full disk would: a pattern file held in the stream's buffer fails when it
// is flushed, a longer stream while it is written.
SaveStep underSizeLimit(const std::function<SaveResult()>& save) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024, 1024};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return SaveStep::kNone;
    const SaveResult r = save();
    return r.reason == std::strerror(EFBIG) ? r.failed : SaveStep::kNone;
}

TEST_F(SafeFile, AFullDiskKeepsTheOldFile) {
    const auto s = testing::startedSynth();
    const std::string target = at("song.pat");
    ASSERT_EQ(writePatternFile(*s, target.c_str()), 1);
    const std::string old = readAll(target);
    s->store.units[0].cutoff = 9999;
    const std::function<SaveResult()> saves[] = {
        [&] {
            SaveResult r;
            writePatternFile(*s, target.c_str(), &r);
            return r;
        },
        [&] { return saveFile(target.c_str(), writing(pattern(529148, 'f'))); },
    };
    const SaveStep expected[] = {SaveStep::kFlush, SaveStep::kWrite};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(stepInChild(false, [&] { return underSizeLimit(saves[i]); }), static_cast<int>(expected[i]));
        EXPECT_TRUE(readAll(target) == old);
        EXPECT_EQ(entries(), std::vector<std::string>{"song.pat"});
    }
}

}  // namespace
}  // namespace velmor
