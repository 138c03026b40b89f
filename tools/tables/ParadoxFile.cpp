#include "ParadoxFile.h"

#include "Interrupt.h"
#include "base/Cp1251.h"
#include "store/Value.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#ifdef _WIN32
#include <random>
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#endif

extern "C" {
#include <paradox.h>
}

namespace talmar {
namespace {

// The table header: the fields every version of the format has in its first 0x58 bytes.
constexpr std::size_t kBaseHeader = 0x58;
constexpr std::size_t kDataHeaderEnd = 0x78; // Paradox 4 and later: a second part up to here
constexpr std::size_t kBlockHeader = 6;      // next block, previous block, offset of the last record

// The memo file: a 4 KB header, then blocks of whole 4 KB units. A memo of up to 2 KB shares a
// block with others (type 3: a 12-byte header, 64 five-byte pointers, data in 16-byte chunks);
// a longer one has blocks of its own (type 2: a 9-byte header, then the text).
constexpr std::size_t kMbUnit = 4096;
constexpr unsigned char kMbHeaderBlock = 0, kMbSingleBlock = 2, kMbSharedBlock = 3;
constexpr std::size_t kMbSingleData = 9, kMbPointers = 12, kMbPointerSize = 5, kMbSlots = 64;

unsigned U8(const std::string& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]);
}
unsigned U16(const std::string& b, std::size_t at) {
    return U8(b, at) | (U8(b, at + 1) << 8);
}
std::uint32_t U32(const std::string& b, std::size_t at) {
    return U16(b, at) | (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}

namespace fs = std::filesystem;

std::string FileName(const std::string& path) {
    return Utf8FromPath(PathFromUtf8(path).filename());
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in)
        throw EParadoxError("Файл " + path + " не читается: " + std::strerror(errno));
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad())
        throw EParadoxError("Файл " + path + " не читается");
    return s.str();
}

// The header's record count and block sizes against the file: pxlib trusts them and crashes on
// a file cut inside its header, and reads a file cut inside a record without a word.
void CheckStructure(const std::string& b, const std::string& name) {
    const auto damaged = [&](const std::string& what) {
        return EParadoxError("Файл " + name + " повреждён: " + what);
    };
    if (b.size() < kBaseHeader)
        throw damaged("он обрезан, в нём нет даже заголовка таблицы (" + std::to_string(b.size()) + " байт)");
    const unsigned recordSize = U16(b, 0x00);
    const unsigned headerSize = U16(b, 0x02);
    const unsigned fileType = U8(b, 0x04);
    const unsigned blockSize = U8(b, 0x05) * 1024u;
    const std::uint32_t numRecords = U32(b, 0x06);
    const unsigned firstBlock = U16(b, 0x0E);
    const unsigned numFields = U16(b, 0x21);
    if (fileType != 0 && fileType != 2)
        throw EParadoxError("Файл " + name + " - не таблица Paradox, а её индекс или служебный файл (тип " +
                            std::to_string(fileType) + ")");
    if (numFields == 0 || numFields > 255 || headerSize < kBaseHeader + 2 * numFields)
        throw damaged("неверный заголовок (полей " + std::to_string(numFields) + ", заголовок " +
                      std::to_string(headerSize) + " байт)");
    if (headerSize > b.size())
        throw damaged("он обрезан внутри заголовка (заголовок " + std::to_string(headerSize) +
                      " байт, файл " + std::to_string(b.size()) + " байт)");
    // Paradox 4 and later keep the password's key in the second part of the header.
    const bool laterFormat = U8(b, 0x39) >= 5 && headerSize >= kDataHeaderEnd;
    if (U32(b, laterFormat ? 0x5C : 0x25) != 0)
        throw EParadoxError("Таблица " + name +
                            " защищена паролем; снимите пароль в Paradox и повторите перевод");
    if (blockSize == 0 || blockSize > 32 * 1024 || recordSize == 0 || recordSize + kBlockHeader > blockSize)
        throw damaged("неверные размеры блока (" + std::to_string(blockSize) + ") или записи (" +
                      std::to_string(recordSize) + ")");

    // Walk the chain of data blocks as the records are read: every block whole inside the file,
    // each visited once, and their records adding up to the header's count.
    const std::size_t blocksInFile = (b.size() - headerSize) / blockSize;
    std::vector<bool> seen(blocksInFile + 1, false);
    std::uint64_t counted = 0;
    for (unsigned block = numRecords == 0 && firstBlock == 0 ? 0 : firstBlock; block != 0;) {
        if (block > blocksInFile)
            throw damaged("он обрезан: блок данных " + std::to_string(block) + " выходит за конец файла (" +
                          std::to_string(b.size()) + " байт)");
        if (seen[block])
            throw damaged("цепочка блоков данных замкнута на блоке " + std::to_string(block));
        seen[block] = true;
        const std::size_t at = headerSize + std::size_t(block - 1) * blockSize;
        const int lastOffset = static_cast<std::int16_t>(U16(b, at + 4));
        const int used = lastOffset + static_cast<int>(recordSize);
        if (used < 0 || used % static_cast<int>(recordSize) != 0 ||
            static_cast<unsigned>(used) + kBlockHeader > blockSize)
            throw damaged("неверный заголовок блока данных " + std::to_string(block));
        counted += static_cast<unsigned>(used) / recordSize;
        block = U16(b, at);
    }
    if (counted != numRecords)
        throw damaged("в заголовке записей " + std::to_string(numRecords) + ", а в блоках данных " +
                      std::to_string(counted));
}

// A folder of its own for the copy that pxlib opens, removed with everything in it.
class TPrivateCopy {
public:
    TPrivateCopy(const std::string& bytes, const std::string& name) {
        const fs::path temp = fs::temp_directory_path();
#ifdef _WIN32
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            const fs::path dir = temp / ("talmar-import-" + std::to_string(random()));
            std::error_code ec;
            if (fs::create_directory(dir, ec))
                dir_ = dir;
        }
        if (dir_.empty())
            throw EParadoxError("Не удалось создать временную папку для копии " + name + " в " +
                                Utf8FromPath(temp));
#else
        std::string tmpl = (temp / "talmar-import-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            throw EParadoxError("Не удалось создать временную папку для копии " + name + ": " +
                                std::strerror(errno));
        dir_ = tmpl;
#endif
        path_ = dir_ / PathFromUtf8(name);
        std::ofstream out(path_, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            Remove();
            throw EParadoxError("Не удалось записать временную копию " + name + " в " + Utf8FromPath(dir_));
        }
    }
    ~TPrivateCopy() {
        Remove();
    }
    TPrivateCopy(const TPrivateCopy&) = delete;
    TPrivateCopy& operator=(const TPrivateCopy&) = delete;
    const fs::path& Path() const {
        return path_;
    }

private:
    void Remove() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
    fs::path path_;
};

void KeepError(pxdoc_t*, int type, const char* msg, void* data) {
    if (type != PX_Warning && data && msg)
        *static_cast<std::string*>(data) = msg;
}

// pxlib reads through a stream opened here: in binary mode and by a name that may hold any
// letters, which its own opening (fopen in text mode, a name in the ANSI code page) does not
// promise on Windows. It does not close a stream it did not open.
struct TOpenDoc {
    pxdoc_t* doc = nullptr;
    std::FILE* file = nullptr;
};

struct TDocDeleter {
    void operator()(TOpenDoc* d) const {
        PX_close(d->doc);
        PX_delete(d->doc);
        std::fclose(d->file);
        delete d;
    }
};
using TDoc = std::unique_ptr<TOpenDoc, TDocDeleter>;

TDoc OpenDoc(const fs::path& path, std::string* error) {
#ifdef _WIN32
    std::FILE* file = _wfopen(path.c_str(), L"r+b");
#else
    std::FILE* file = std::fopen(path.c_str(), "r+b");
#endif
    if (!file) {
        *error = std::strerror(errno);
        return nullptr;
    }
    pxdoc_t* doc = PX_new3(KeepError, nullptr, nullptr, nullptr, error);
    if (!doc) {
        std::fclose(file);
        return nullptr;
    }
    if (PX_open_fp(doc, file) < 0) {
        PX_delete(doc);
        std::fclose(file);
        return nullptr;
    }
    return TDoc(new TOpenDoc{doc, file});
}

// What the child does: every record read once. 0 when the file opened.
int ReadAll(const fs::path& path, std::uint32_t records) {
    std::string error;
    const TDoc doc = OpenDoc(path, &error);
    if (!doc)
        return 1;
    std::vector<char> record(static_cast<std::size_t>(PX_get_recordsize(doc->doc)) + 1);
    for (std::uint32_t r = 0; r < records; ++r)
        PX_get_record(doc->doc, static_cast<int>(r), record.data());
    return 0;
}

std::string Seconds(std::chrono::milliseconds limit) {
    return limit.count() % 1000 == 0 ? std::to_string(limit.count() / 1000)
                                     : FormatFloat(static_cast<double>(limit.count()) / 1000);
}

// pxlib may crash on damage the checks above do not see, or loop for ever (a changed byte of the
// header's password key sends it round its block decryption). A child process reads every
// record first, within a time limit, so that such a file is reported instead of ending the
// import without a word or hanging it.
EParadoxError NotReadAhead(const std::string& name) {
    return EParadoxError("Файл " + name +
                         " повреждён: библиотека чтения таблиц Paradox не смогла его прочитать");
}

EParadoxError ReadAheadTimedOut(const std::string& name, std::chrono::milliseconds limit) {
    return EParadoxError("Файл " + name + " повреждён: библиотека чтения таблиц Paradox не дочитала его за " +
                         Seconds(limit) + " с и остановлена");
}

#ifdef _WIN32

// One argument of a command line as the C runtime splits it again.
std::wstring Quoted(const std::wstring& arg) {
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(2 * slashes, L'\\');
    return out + L"\"";
}

// The program starts itself with a hidden argument: Windows has no fork.
void ReadAheadInChild(const fs::path& copy, std::uint32_t records, const std::string& name,
                      std::chrono::milliseconds limit) {
    std::wstring self(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (length == 0 || length >= self.size())
        return; // no reading ahead; the checks above still stand
    self.resize(length);
    const std::string hidden = kReadAheadArgument;
    std::wstring command = Quoted(self) + L" " + std::wstring(hidden.begin(), hidden.end()) + L" " +
                           Quoted(copy.wstring()) + L" " + std::to_wstring(records);
    // A job ends the child with this process, however this one ends.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
        info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(self.c_str(), command.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup, &child)) {
        if (job)
            CloseHandle(job);
        return;
    }
    if (job)
        AssignProcessToJobObject(job, child.hProcess);
    ResumeThread(child.hThread);
    CloseHandle(child.hThread);
    HANDLE waits[2] = {child.hProcess, static_cast<HANDLE>(InterruptEvent())};
    const DWORD count = waits[1] ? 2 : 1;
    const DWORD woke = WaitForMultipleObjects(count, waits, FALSE, static_cast<DWORD>(limit.count()));
    if (woke != WAIT_OBJECT_0) {
        TerminateProcess(child.hProcess, 1);
        WaitForSingleObject(child.hProcess, INFINITE);
    }
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hProcess);
    if (job)
        CloseHandle(job);
    if (woke == WAIT_OBJECT_0 + 1 || Interrupted())
        throw TInterrupted();
    if (woke == WAIT_TIMEOUT)
        throw ReadAheadTimedOut(name, limit);
    if (woke == WAIT_OBJECT_0 && code >= 0xC0000000) // ended by an exception: access violation...
        throw NotReadAhead(name);
}

#else

void ReadAheadInChild(const fs::path& copy, std::uint32_t records, const std::string& name,
                      std::chrono::milliseconds limit) {
    // The child holds the write end of a pipe: it closes when the child ends, which poll sees
    // together with an interruption and the time limit.
    int ended[2];
    if (pipe2(ended, O_CLOEXEC) != 0)
        return; // no reading ahead; the checks above still stand
    std::fflush(nullptr);
    sigset_t interrupts, before;
    sigemptyset(&interrupts);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&interrupts, sig);
    sigprocmask(SIG_BLOCK, &interrupts, &before);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // The child dies of these signals as any program does; the parent ends it when it is interrupted.
        for (const int sig : {SIGINT, SIGTERM, SIGHUP})
            std::signal(sig, SIG_DFL);
        sigprocmask(SIG_SETMASK, &before, nullptr);
#ifdef __linux__
        prctl(PR_SET_PDEATHSIG, SIGKILL); // nor does it outlive a parent killed outright
        if (getppid() != parent)
            _exit(1);
#endif
        close(ended[0]);
        _exit(ReadAll(copy, records));
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    close(ended[1]);
    if (pid < 0) {
        close(ended[0]);
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool done = false;
    while (!done && !Interrupted()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd fds[2] = {{ended[0], POLLIN, 0}, {InterruptFd(), POLLIN, 0}};
        const int ready =
            poll(fds, InterruptFd() >= 0 ? 2 : 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
        done = ready > 0 && fds[0].revents != 0;
    }
    close(ended[0]);
    if (!done)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            break;
    if (Interrupted())
        throw TInterrupted();
    if (!done)
        throw ReadAheadTimedOut(name, limit);
    if (WIFSIGNALED(status))
        throw NotReadAhead(name);
}

#endif

bool AllZero(const char* p, int size) {
    for (int i = 0; i < size; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

bool Supported(TParadoxType t) {
    switch (t) {
    case TParadoxType::Alpha:
    case TParadoxType::Short:
    case TParadoxType::Long:
    case TParadoxType::AutoInc:
    case TParadoxType::Number:
    case TParadoxType::Currency:
    case TParadoxType::Logical:
    case TParadoxType::Memo:
        return true;
    default:
        return false;
    }
}

// The size a field of this type takes in the record, or 0 when any size up to 255 will do.
int FixedSize(TParadoxType t) {
    switch (t) {
    case TParadoxType::Short:
        return 2;
    case TParadoxType::Long:
    case TParadoxType::AutoInc:
        return 4;
    case TParadoxType::Number:
    case TParadoxType::Currency:
        return 8;
    case TParadoxType::Logical:
        return 1;
    default:
        return 0;
    }
}

class TReader {
public:
    TReader(const std::string& dbPath, const std::string& mbPath)
        : dbName_(FileName(dbPath)), mbPath_(mbPath),
          mbName_(Utf8FromPath(PathFromUtf8(dbName_).stem()) + ".MB") {}

    // The text of a memo field: in the record when it fits the leader, else in the .MB file.
    TValue Memo(const char* p, int size, std::uint32_t record, const TParadoxField& field) {
        const std::string ptr(p + size - 10, 10);
        const std::uint32_t where = U32(ptr, 0);
        const std::uint32_t length = U32(ptr, 4);
        const auto bad = [&](const std::string& what) {
            return EParadoxError("Запись " + std::to_string(record) + " таблицы " + dbName_ + ", поле " +
                                 field.name + ": " + what);
        };
        if (length == 0)
            return TValue();
        if (where == 0) {
            if (length > static_cast<std::uint32_t>(size - 10))
                throw bad("текст длиннее, чем помещается в записи, а ссылки на файл " + mbName_ + " нет");
            return TValue(Cp1251ToUtf8(std::string_view(p, length)));
        }
        const std::string& mb = MbBytes(record, field);
        const std::size_t block = where & ~0xFFu;
        const unsigned slot = where & 0xFFu;
        const auto damaged = [&](const std::string& what) {
            return bad("файл " + mbName_ + " повреждён или не от этой таблицы: " + what + " (блок " +
                       std::to_string(block) + ")");
        };
        // The file may be cut anywhere: every field is checked to lie inside it before it is read.
        const auto within = [&](std::size_t at, std::size_t size, const std::string& what) {
            if (at + size > mb.size())
                throw damaged("файл обрезан внутри " + what);
        };
        if (block < kMbUnit || block % kMbUnit != 0 || block >= mb.size())
            throw damaged("ссылка ведёт за конец файла");
        const unsigned type = U8(mb, block);
        std::size_t start = 0;
        if (slot == 0xFF) {
            if (type != kMbSingleBlock)
                throw damaged("в блоке нет текста этой длины");
            within(block, kMbSingleData, "заголовка блока");
            if (U32(mb, block + 3) != length)
                throw damaged("в блоке нет текста этой длины");
            start = block + kMbSingleData;
        } else {
            if (type != kMbSharedBlock || slot >= kMbSlots)
                throw damaged("в блоке нет текста с номером " + std::to_string(slot));
            const std::size_t entry = block + kMbPointers + kMbPointerSize * slot;
            within(entry, kMbPointerSize, "указателя текста " + std::to_string(slot));
            const unsigned offset = U8(mb, entry) * 16u;
            const unsigned chunks = U8(mb, entry + 1);
            const unsigned tail = U8(mb, entry + 4);
            if (offset < kMbPointers + kMbPointerSize * kMbSlots || chunks == 0 || tail == 0 || tail > 16 ||
                (chunks - 1) * 16 + tail != length || offset + length > kMbUnit)
                throw damaged("указатель текста " + std::to_string(slot) + " неверен");
            start = block + offset;
        }
        // pxlib's own writer ends the file right after the last text, short of its whole block.
        within(start, length, "текста");
        return TValue(Cp1251ToUtf8(std::string_view(mb.data() + start, length)));
    }

private:
    const std::string& MbBytes(std::uint32_t record, const TParadoxField& field) {
        if (!mb_) {
            if (mbPath_.empty())
                throw EParadoxError("Нет файла " + mbName_ + " рядом с " + dbName_ + ": в нём текст поля " +
                                    field.name + " записи " + std::to_string(record) +
                                    ". Положите его в ту же папку и повторите перевод");
            mb_ = ReadWhole(mbPath_);
            if (mb_->size() < kMbUnit || U8(*mb_, 0) != kMbHeaderBlock)
                throw EParadoxError("Файл " + mbName_ + " повреждён: это не файл текстов таблицы Paradox");
        }
        return *mb_;
    }

    std::string dbName_;
    std::string mbPath_;
    std::string mbName_;
    std::optional<std::string> mb_;
};

} // namespace

std::string ParadoxTypeName(TParadoxType type, int size) {
    switch (type) {
    case TParadoxType::Alpha:
        return "Alpha " + std::to_string(size);
    case TParadoxType::Date:
        return "Date";
    case TParadoxType::Short:
        return "Short";
    case TParadoxType::Long:
        return "Long Integer";
    case TParadoxType::Currency:
        return "Money";
    case TParadoxType::Number:
        return "Number";
    case TParadoxType::Logical:
        return "Logical";
    case TParadoxType::Memo:
        return "Memo";
    case TParadoxType::Blob:
        return "Binary";
    case TParadoxType::FmtMemo:
        return "Formatted Memo";
    case TParadoxType::Ole:
        return "OLE";
    case TParadoxType::Graphic:
        return "Graphic";
    case TParadoxType::Time:
        return "Time";
    case TParadoxType::Timestamp:
        return "Timestamp";
    case TParadoxType::AutoInc:
        return "Autoincrement";
    case TParadoxType::Bcd:
        return "BCD";
    case TParadoxType::Bytes:
        return "Bytes";
    }
    return "тип " + std::to_string(static_cast<int>(type));
}

TParadoxTable ReadParadoxTable(const std::string& dbPath, const std::string& mbPath,
                               std::chrono::milliseconds readAheadLimit) {
    const std::string name = FileName(dbPath);
    const std::string bytes = ReadWhole(dbPath);
    CheckStructure(bytes, name);
    const std::uint32_t numRecords = U32(bytes, 0x06);
    const int recordSize = static_cast<int>(U16(bytes, 0x00));

    // pxlib opens its file for writing too: it gets a private copy, never the user's file.
    const TPrivateCopy copy(bytes, name);
    ReadAheadInChild(copy.Path(), numRecords, name, readAheadLimit);
    std::string pxError;
    const TDoc doc = OpenDoc(copy.Path(), &pxError);
    pxdoc_t* const px = doc ? doc->doc : nullptr;
    if (!px)
        throw EParadoxError("Файл " + name + " не читается как таблица Paradox" +
                            (pxError.empty() ? "" : ": " + pxError));

    TParadoxTable table;
    table.codePage = px->px_head ? px->px_head->px_doscodepage : 0;
    const int numFields = PX_get_num_fields(px);
    const pxfield_t* fields = PX_get_fields(px);
    int total = 0;
    for (int i = 0; i < numFields && fields; ++i) {
        TParadoxField f;
        f.name = Cp1251ToUtf8(fields[i].px_fname ? fields[i].px_fname : "");
        f.type = static_cast<TParadoxType>(static_cast<unsigned char>(fields[i].px_ftype));
        f.size = fields[i].px_flen;
        f.supported = Supported(f.type);
        const int fixed = FixedSize(f.type);
        if (f.size <= 0 || f.size > 255 || (fixed && f.size != fixed) ||
            (f.type == TParadoxType::Memo && f.size <= 10))
            throw EParadoxError("Файл " + name + " повреждён: поле " + f.name + " типа " +
                                ParadoxTypeName(f.type, f.size) + " длиной " + std::to_string(f.size) +
                                " байт");
        total += f.size;
        table.fields.push_back(std::move(f));
    }
    if (!fields || numFields <= 0 || total != recordSize || PX_get_recordsize(px) != recordSize)
        throw EParadoxError("Файл " + name + " повреждён: описание полей не сходится с длиной записи (" +
                            std::to_string(recordSize) + " байт)");

    TReader reader(dbPath, mbPath);
    std::vector<char> record(static_cast<std::size_t>(recordSize) + 1);
    table.records.reserve(numRecords);
    for (std::uint32_t r = 0; r < numRecords; ++r) {
        const std::uint32_t number = r + 1; // as the user counts them
        if (!PX_get_record(px, static_cast<int>(r), record.data()))
            throw EParadoxError("Запись " + std::to_string(number) + " таблицы " + name + " не читается" +
                                (pxError.empty() ? "" : ": " + pxError));
        std::vector<TValue> values;
        values.reserve(table.fields.size());
        char* p = record.data();
        for (const TParadoxField& f : table.fields) {
            const auto fail = [&] {
                return EParadoxError("Запись " + std::to_string(number) + " таблицы " + name + ", поле " +
                                     f.name + ": значение не читается");
            };
            TValue v;
            // An empty field is all zero bytes. That is its own null marker: pxlib 0.6.8 tests
            // eight bytes of a four-byte Long for it and reads an empty Long as -2147483648.
            // Alpha text ends at its first zero byte, so one that starts with it is empty
            // whatever the bytes after it hold (what was typed there before).
            const bool empty = f.type == TParadoxType::Alpha ? *p == 0 : AllZero(p, f.size);
            if (!f.supported || empty) {
                values.push_back(v);
                p += f.size;
                continue;
            }
            switch (f.type) {
            case TParadoxType::Alpha: {
                char* text = nullptr;
                if (PX_get_data_alpha(px, p, f.size, &text) < 0 || !text)
                    throw fail();
                v = TValue(Cp1251ToUtf8(std::string_view(text, strnlen(text, f.size))));
                px->free(px, text);
                break;
            }
            case TParadoxType::Short: {
                short s = 0;
                if (PX_get_data_short(px, p, f.size, &s) != 1)
                    throw fail();
                v = TValue(s);
                break;
            }
            case TParadoxType::Long:
            case TParadoxType::AutoInc: {
                long l = 0;
                if (PX_get_data_long(px, p, f.size, &l) != 1)
                    throw fail();
                v = TValue(static_cast<std::int64_t>(l));
                break;
            }
            case TParadoxType::Number:
            case TParadoxType::Currency: {
                double d = 0;
                if (PX_get_data_double(px, p, f.size, &d) != 1)
                    throw fail();
                v = TValue(d);
                break;
            }
            case TParadoxType::Logical: {
                char c = 0;
                if (PX_get_data_byte(px, p, f.size, &c) != 1)
                    throw fail();
                v = TValue(c != 0);
                break;
            }
            case TParadoxType::Memo:
                v = reader.Memo(p, f.size, number, f);
                break;
            default:
                break;
            }
            values.push_back(std::move(v));
            p += f.size;
        }
        table.records.push_back(std::move(values));
    }
    return table;
}

int ReadAhead(const std::string& path, std::uint32_t records) {
#ifdef _WIN32
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX); // a crash ends it without a dialog
#endif
    return ReadAll(PathFromUtf8(path), records);
}

std::filesystem::path PathFromUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace talmar
