// A power cut at every point inside a post. A killed process cannot show whether the writes were
// really synced (the operating system keeps its cache), so a child process writes through a file
// layer that keeps, for each file, what was last synced, and at its N-th write, sync, truncate
// or delete "loses power": each file is put back to what a disk would hold then, and the process
// ends on the spot. The parent opens the table again as the program would at its next start.

#include "tests/store/StoreFixture.h"

#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace talmar::test {
namespace {

// What survives of the writes made since a file's last sync.
enum class TKeep { None, All, EveryOther };

constexpr int kCutExit = 42;  // the child lost power
constexpr int kDoneExit = 43; // the child posted everything before its cut point came
constexpr int kPostsPerChild = 2;

struct TFileState {
    struct TOp {
        bool truncate;
        sqlite3_int64 offset; // or the new size
        std::string data;
    };
    std::optional<std::string> synced; // none: after a cut the file would not exist
    std::vector<TOp> unsynced;
    bool deletedUnsynced = false;
};

struct TDisk {
    sqlite3_vfs* real = nullptr;
    sqlite3_vfs vfs{};
    std::map<std::string, TFileState> files;
    long long events = 0;
    long long cutAt = 0;
    TKeep keep = TKeep::None;
};
TDisk g;

std::optional<std::string> FileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Apply(std::string& s, const TFileState::TOp& op) {
    if (op.truncate) {
        s.resize(static_cast<std::size_t>(op.offset));
        return;
    }
    const auto end = static_cast<std::size_t>(op.offset) + op.data.size();
    if (s.size() < end)
        s.resize(end);
    s.replace(static_cast<std::size_t>(op.offset), op.data.size(), op.data);
}

[[noreturn]] void LosePower() {
    for (const auto& [path, st] : g.files) {
        std::optional<std::string> disk = st.synced;
        if (st.deletedUnsynced && g.keep == TKeep::All)
            disk.reset();
        else
            for (std::size_t i = 0; i < st.unsynced.size(); ++i)
                if (g.keep == TKeep::All || (g.keep == TKeep::EveryOther && i % 2 == 0)) {
                    if (!disk)
                        disk.emplace();
                    Apply(*disk, st.unsynced[i]);
                }
        if (!disk) {
            ::unlink(path.c_str());
            continue;
        }
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << *disk;
    }
    ::_exit(kCutExit);
}

void Event() {
    if (++g.events == g.cutAt)
        LosePower();
}

struct TCutFile {
    sqlite3_file base;
    sqlite3_file* real;
    const char* path; // valid until xClose
};

TFileState* State(sqlite3_file* f) {
    const auto* c = reinterpret_cast<TCutFile*>(f);
    return c->path ? &g.files[c->path] : nullptr;
}
sqlite3_file* Real(sqlite3_file* f) {
    return reinterpret_cast<TCutFile*>(f)->real;
}

int CutClose(sqlite3_file* f) {
    return Real(f)->pMethods->xClose(Real(f));
}
int CutRead(sqlite3_file* f, void* buf, int amount, sqlite3_int64 offset) {
    return Real(f)->pMethods->xRead(Real(f), buf, amount, offset);
}
int CutWrite(sqlite3_file* f, const void* buf, int amount, sqlite3_int64 offset) {
    Event();
    if (TFileState* st = State(f))
        st->unsynced.push_back({false, offset, std::string(static_cast<const char*>(buf), amount)});
    return Real(f)->pMethods->xWrite(Real(f), buf, amount, offset);
}
int CutTruncate(sqlite3_file* f, sqlite3_int64 size) {
    Event();
    if (TFileState* st = State(f))
        st->unsynced.push_back({true, size, {}});
    return Real(f)->pMethods->xTruncate(Real(f), size);
}
// The real sync is left out: what is durable is what this layer says.
int CutSync(sqlite3_file* f, int) {
    Event();
    if (TFileState* st = State(f)) {
        st->synced = FileContents(reinterpret_cast<TCutFile*>(f)->path);
        st->unsynced.clear();
        st->deletedUnsynced = false;
    }
    return SQLITE_OK;
}
int CutFileSize(sqlite3_file* f, sqlite3_int64* size) {
    return Real(f)->pMethods->xFileSize(Real(f), size);
}
int CutLock(sqlite3_file* f, int lock) {
    return Real(f)->pMethods->xLock(Real(f), lock);
}
int CutUnlock(sqlite3_file* f, int lock) {
    return Real(f)->pMethods->xUnlock(Real(f), lock);
}
int CutCheckReserved(sqlite3_file* f, int* out) {
    return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int CutFileControl(sqlite3_file* f, int op, void* arg) {
    return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int CutSectorSize(sqlite3_file* f) {
    return Real(f)->pMethods->xSectorSize(Real(f));
}
int CutDevice(sqlite3_file* f) {
    return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}

const sqlite3_io_methods kCutMethods = {
    1,       CutClose,  CutRead,          CutWrite,       CutTruncate,   CutSync,   CutFileSize,
    CutLock, CutUnlock, CutCheckReserved, CutFileControl, CutSectorSize, CutDevice, nullptr,
    nullptr, nullptr,   nullptr,          nullptr,        nullptr};

int CutOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    auto* c = reinterpret_cast<TCutFile*>(f);
    c->base.pMethods = nullptr;
    c->real = reinterpret_cast<sqlite3_file*>(c + 1);
    c->path = name;
    if (name && !g.files.count(name)) {
        // A file there before is on the disk; a new one is not until it is synced (the file layer
        // syncs the folder of a new journal with it).
        g.files[name].synced = FileContents(name);
    } else if (name) {
        g.files[name].unsynced.clear(); // made anew over a deletion that was not synced
    }
    const int rc = g.real->xOpen(g.real, name, c->real, flags, outFlags);
    if (rc == SQLITE_OK)
        c->base.pMethods = &kCutMethods;
    return rc;
}

int CutDelete(sqlite3_vfs*, const char* name, int syncFolder) {
    Event();
    TFileState& st = g.files[name];
    if (syncFolder) {
        st.synced.reset();
        st.unsynced.clear();
        st.deletedUnsynced = false;
    } else {
        st.deletedUnsynced = true;
    }
    return g.real->xDelete(g.real, name, syncFolder);
}

// The file layer the table is opened through (the exclusive tables "unix-none", the shared one
// the default) now leads here, under the same name.
void InstallCutDisk(const TTableDef& def, long long cutAt, TKeep keep) {
    const bool shared = def.mode == TOpenMode::Shared;
    g.real = sqlite3_vfs_find(shared ? nullptr : "unix-none");
    g.vfs = *g.real;
    g.vfs.szOsFile = static_cast<int>(sizeof(TCutFile)) + g.real->szOsFile;
    g.vfs.xOpen = CutOpen;
    g.vfs.xDelete = CutDelete;
    g.cutAt = cutAt;
    g.keep = keep;
    sqlite3_vfs_unregister(g.real);
    sqlite3_vfs_register(&g.vfs, shared ? 1 : 0);
}

// A post gives every integer column of a record one value, and its notes a long text of it that
// spans several pages of the file.
std::string Notes(std::int64_t v) {
    std::string s;
    while (s.size() < 9000)
        s += std::to_string(v) + ";";
    return s;
}

void Post(TTable& t, std::int64_t v) {
    t.SetRecNo(v % 2 == 0 ? 1 : 2);
    t.Edit();
    for (int f = 0; f < t.StoredFieldCount(); ++f)
        if (t.Field(f).type == TFieldType::Integer)
            t.SetValue(f, v);
    t.SetFieldByName("Book", Notes(v));
    t.Post();
}

// The value each record holds, or a failure when a record is not whole.
std::vector<std::int64_t> Values(TTable& t) {
    std::vector<std::int64_t> out;
    int first = 0;
    while (t.Field(first).type != TFieldType::Integer)
        ++first;
    for (int r = 0; r < t.RecordCount(); ++r) {
        const TValue v = t.ValueAt(r, first);
        for (int f = 0; f < t.StoredFieldCount(); ++f) {
            if (t.Field(f).type == TFieldType::Integer) {
                EXPECT_EQ(t.ValueAt(r, f), v) << "record " << r + 1 << " column " << t.Field(f).name;
            }
        }
        EXPECT_EQ(t.ValueAt(r, t.FieldIndex("Book")), TValue(Notes(v.AsInteger()))) << "record " << r + 1;
        out.push_back(v.AsInteger());
    }
    return out;
}

// Runs one child that loses power at its cutAt-th event. Returns whether the cut came before the
// child had posted everything.
bool RunWithCut(const TTableDef& def, long long cutAt, TKeep keep, std::int64_t base,
                std::vector<std::int64_t>& acked) {
    int pipeFd[2];
    EXPECT_EQ(::pipe(pipeFd), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFd[0]);
        InstallCutDisk(def, cutAt, keep);
        try {
            TTable t(def);
            t.Open();
            for (std::int64_t v = base + 1; v <= base + kPostsPerChild; ++v) {
                Post(t, v);
                if (::write(pipeFd[1], &v, sizeof v) != sizeof v)
                    ::_exit(3);
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "child: %s\n", e.what());
            ::_exit(2);
        }
        ::_exit(kDoneExit);
    }
    ::close(pipeFd[1]);
    std::int64_t v = 0;
    acked.clear();
    while (::read(pipeFd[0], &v, sizeof v) == sizeof v)
        acked.push_back(v);
    ::close(pipeFd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    EXPECT_TRUE(code == kCutExit || code == kDoneExit) << "child ended with " << code << " at cut " << cutAt;
    return code == kCutExit;
}

// Cuts the power at every event of two posts, each way of keeping unsynced writes, and checks
// after each cut that every post that returned is there and the one cut short is whole, old or
// new.
void CutEverywhere(const TTableDef& def) {
    CreateTableFile(def, def.fileName);
    ExecSql(def.fileName, "INSERT INTO " + def.tableName + " (NameKP) VALUES ('A'), ('B')");
    {
        TTable t(def);
        t.Open();
        Post(t, 2); // record 1
        Post(t, 1); // record 2
    }
    std::vector<std::int64_t> held = {2, 1}; // what each record holds for sure
    int cuts = 0;
    for (const TKeep keep : {TKeep::None, TKeep::EveryOther, TKeep::All}) {
        for (long long cutAt = 1;; ++cutAt) {
            const std::int64_t base = std::max(held[0], held[1]);
            std::vector<std::int64_t> acked;
            const bool cut = RunWithCut(def, cutAt, keep, base, acked);
            for (const std::int64_t v : acked)
                held[v % 2 == 0 ? 0 : 1] = v;
            const std::int64_t inFlight = base + static_cast<std::int64_t>(acked.size()) + 1;

            TTable t(def);
            ASSERT_NO_THROW(t.Open()) << "cut " << cutAt << " keep " << static_cast<int>(keep);
            ASSERT_EQ(t.RecordCount(), 2);
            const std::vector<std::int64_t> now = Values(t);
            for (int r = 0; r < 2; ++r) {
                const bool mayBeNew =
                    cut && inFlight <= base + kPostsPerChild && (inFlight % 2 == 0 ? 0 : 1) == r;
                EXPECT_TRUE(now[r] == held[r] || (mayBeNew && now[r] == inFlight))
                    << "record " << r + 1 << " holds " << now[r] << ", posted " << held[r] << ", cut "
                    << cutAt << " keep " << static_cast<int>(keep);
                held[r] = now[r];
            }
            if (::testing::Test::HasFailure() || !cut)
                break;
            ++cuts;
        }
        ASSERT_FALSE(::testing::Test::HasFailure());
    }
    // Every write, sync and delete of two posts was a cut point, in each of the three ways.
    EXPECT_GT(cuts, 3 * 2 * 8);
}

TEST_F(TStoreTest, APowerCutAtAnyPointOfAPostLosesNoPostThatReturned) {
    CutEverywhere(TableDef(TTableId::DataLF));
}

// The shared table is written without exclusive locking: its journal is deleted at each commit.
TEST_F(TStoreTest, APowerCutAtAnyPointOfAPostOfTheSharedTableLosesNoPostThatReturned) {
    CutEverywhere(TableDef(TTableId::DataORTEN));
}

} // namespace
} // namespace talmar::test
