#ifdef QUILLET_WITH_CAIRO
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "cli/output_commands.h"

namespace quillet::cli {
namespace {

// The temporary files being written, for the signal handler to remove: a slot is filled before
// its file is made and emptied after the file is renamed or removed.
struct TemporarySlot {
    std::atomic<bool> used{false};
    char path[4096] = {};
};
// One for each thread of a batch, and a few for the main thread.
std::array<TemporarySlot, maxBatchThreads + 4> temporaries;

// Several threads may be making files when a signal comes. The handler first stops new files
// being started, then waits for the threads that are making one to have it in its slot, so that
// no file is made after it has looked.
std::atomic<bool> stopping{false};
std::atomic<int> threadsMaking{0};  // threads between deciding to make a file and having made it
thread_local bool thisThreadMakes = false;

extern "C" void removeTemporariesAndStop(int signal) {
    stopping.store(true);
    // The thread the signal interrupted may be making a file itself: it will not go on.
    const int others = thisThreadMakes ? 1 : 0;
    // A second at most, so that a thread stuck in a slow file system cannot keep the process.
    for (int wait = 0; wait < 10000 && threadsMaking.load() > others; ++wait) {
        const struct timespec moment { 0, 100000 };
        ::nanosleep(&moment, nullptr);
    }
    for (auto& slot : temporaries)
        if (slot.used.load()) ::unlink(slot.path);
    // Ended by the signal as before, so the exit status still says which one it was.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Marks the making of a temporary file, from before its slot is claimed until it has been made.
class Making {
  public:
    // The flag is up whenever the count holds this thread, so that a handler running on this
    // thread never waits for it.
    Making() {
        thisThreadMakes = true;
        threadsMaking.fetch_add(1);
    }
    ~Making() {
        threadsMaking.fetch_sub(1);
        thisThreadMakes = false;
    }
    Making(const Making&) = delete;
    Making& operator=(const Making&) = delete;
};

void installHandlers() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        for (const int signal :
             {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGPIPE}) {
            struct sigaction action {};
            sigaction(signal, nullptr, &action);
            if (action.sa_handler == SIG_IGN) continue;  // as nohup and background jobs ask
            action = {};
            action.sa_handler = removeTemporariesAndStop;
            sigemptyset(&action.sa_mask);
            sigaction(signal, &action, nullptr);
        }
        // A file size limit makes the write fail, which is reported, instead of ending the
        // process with the file half written.
        std::signal(SIGXFSZ, SIG_IGN);
    });
}

int claimSlot(const std::string& path) {
    if (path.size() >= sizeof(TemporarySlot::path)) return -1;
    static std::mutex claiming;
    std::lock_guard lock(claiming);
    for (std::size_t i = 0; i < temporaries.size(); ++i) {
        if (temporaries[i].used.load()) continue;
        std::memcpy(temporaries[i].path, path.c_str(), path.size() + 1);
        temporaries[i].used.store(true);
        return static_cast<int>(i);
    }
    return -1;
}

void releaseSlot(int& slot) {
    if (slot >= 0) temporaries[static_cast<std::size_t>(slot)].used.store(false);
    slot = -1;
}

std::string failure(const std::string& path, int number) {
    return "cannot write " + path + ": " + std::strerror(number);
}

// Temporary files are named ".quillet-PID-N.part": short, so that a target whose name is near
// the longest a folder allows still gets one, and naming the process that writes it.
constexpr std::string_view temporaryPrefix = ".quillet-";
constexpr std::string_view temporarySuffix = ".part";

std::string temporaryName(const std::string& folder, pid_t process, unsigned number) {
    return folder + std::string(temporaryPrefix) + std::to_string(process) + "-" +
           std::to_string(number) + std::string(temporarySuffix);
}

// Removes the temporary files that processes which have ended (SIGKILL, a power cut) left in a
// folder, once a run, when the run first writes there.
void sweepFolder(const std::string& folder) {
    // A batch writes every file into one folder: its threads do not queue for the lock to learn
    // again that it was swept.
    thread_local std::optional<std::string> lastSwept;
    if (lastSwept == folder) return;
    static std::mutex sweeping;
    static std::set<std::string> swept;
    std::lock_guard lock(sweeping);
    lastSwept = folder;
    if (!swept.insert(folder).second) return;
    DIR* entries = ::opendir(folder.empty() ? "." : folder.c_str());
    if (entries == nullptr) return;
    while (const dirent* entry = ::readdir(entries)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(temporaryPrefix) || !name.ends_with(temporarySuffix)) continue;
        const std::string_view digits = name.substr(temporaryPrefix.size());
        pid_t process = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), process);
        if (error != std::errc() || *end != '-' || process <= 0 || process == ::getpid()) continue;
        if (::kill(process, 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(entries), entry->d_name, 0);
    }
    ::closedir(entries);
}

// The file a path names, links followed, also when the last link points at no file yet (it is
// then made where the link points). The path itself when it names no link.
std::string followLinks(const std::string& path) {
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        std::string real = resolved;
        std::free(resolved);
        return real;
    }
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat link {};
        if (::lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return current;
        std::array<char, 4096> target{};
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size() - 1);
        if (length <= 0) return current;
        const std::string named(target.data(), static_cast<std::size_t>(length));
        const auto slash = current.rfind('/');
        current = named.front() == '/' || slash == std::string::npos
                      ? named
                      : current.substr(0, slash + 1) + named;
    }
    return current;
}

// Whether an unnamed file can be given its name through /proc, looked up once.
bool canLinkUnnamed() {
    static const bool available = ::access("/proc/self/fd", X_OK) == 0;
    return available;
}

// A new file without a name in the folder, or -1 where the file system makes none.
int openUnnamed(const std::string& folder) {
#ifdef O_TMPFILE
    if (!canLinkUnnamed()) return -1;
    return ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
#else
    (void)folder;
    return -1;
#endif
}

// Whether linkat takes the unnamed file's descriptor itself, which needs the right to look up any
// file (root has it): one short call, where the name through /proc is a walk of its own. Cleared
// on the first refusal.
std::atomic<bool> linksByDescriptor{true};

// Gives the unnamed file its name in the folder (AT_FDCWD: the name is a path); errno when it
// cannot.
bool linkUnnamed(int descriptor, int folder, const char* name) {
#ifdef AT_EMPTY_PATH
    const bool byDescriptor = linksByDescriptor.load(std::memory_order_relaxed);
    if (byDescriptor) {
        if (::linkat(descriptor, "", folder, name, AT_EMPTY_PATH) == 0) return true;
        // Refused for want of that right (ENOENT, or EPERM where the rules differ); anything
        // else would fail through /proc too.
        if (errno != ENOENT && errno != EPERM) return false;
    }
#else
    const bool byDescriptor = false;
#endif
    std::array<char, 32> self{};
    std::snprintf(self.data(), self.size(), "/proc/self/fd/%d", descriptor);
    const bool linked = ::linkat(AT_FDCWD, self.data(), folder, name, AT_SYMLINK_FOLLOW) == 0;
    if (linked && byDescriptor) linksByDescriptor.store(false, std::memory_order_relaxed);
    return linked;
}

bool linkUnnamed(int descriptor, const std::string& path) {
    return linkUnnamed(descriptor, AT_FDCWD, path.c_str());
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// Numbered through the run, so that threads writing into one folder do not try the same names
// in turn.
std::atomic<unsigned> temporariesMade{0};

std::string nextTemporaryName(const std::string& folder) {
    static const pid_t process = ::getpid();
    return temporaryName(folder, process, temporariesMade.fetch_add(1));
}

// All the bytes written to the descriptor. 0, or the errno.
int writeAll(int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// The unnamed file's bytes written to `to` from its start. 0, or the errno.
int copyBytes(int from, int to) {
    std::array<char, 65536> bytes;
    for (off_t offset = 0;;) {
        const ssize_t read = ::pread(from, bytes.data(), bytes.size(), offset);
        if (read < 0 && errno == EINTR) continue;
        if (read <= 0) return read < 0 ? errno : 0;
        offset += read;
        if (const int number = writeAll(to, {bytes.data(), static_cast<std::size_t>(read)}))
            return number;
    }
}

// The unnamed file's bytes written over what the path names, in place (a device, a pipe). 0, or
// the errno.
int copyInPlace(int from, const std::string& path) {
    const int to = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (to < 0) return errno;
    int number = copyBytes(from, to);
    if (::close(to) != 0 && number == 0) number = errno;
    return number;
}

// For an unnamed file whose name is taken: linked under a temporary name beside the file the
// path names (copied there when that is on another file system) and renamed onto it, as a file
// that was there is replaced. 0, or the errno.
int linkReplacing(int descriptor, const std::string& path) {
    const std::string real = followLinks(path);
    const std::string folder = folderOf(real);
    for (int attempt = 0; attempt <= 100; ++attempt) {
        const Making making;
        if (stopping.load()) return EINTR;
        const std::string temporary = nextTemporaryName(folder);
        int slot = claimSlot(temporary);
        int number = linkUnnamed(descriptor, temporary) ? 0 : errno;
        if (number == EXDEV) {
            const int copy =
                ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            number = copy < 0 ? errno : copyBytes(descriptor, copy);
            struct stat mode {};
            if (copy >= 0 && number == 0 && ::fstat(descriptor, &mode) == 0)
                ::fchmod(copy, mode.st_mode & 07777);
            if (copy >= 0 && ::close(copy) != 0 && number == 0) number = errno;
            if (copy >= 0 && number != 0) ::unlink(temporary.c_str());
        }
        if (number != 0) {
            releaseSlot(slot);
            if (number == EEXIST) continue;
            return number;
        }
        number = ::rename(temporary.c_str(), real.c_str()) == 0 ? 0 : errno;
        if (number != 0) ::unlink(temporary.c_str());
        releaseSlot(slot);
        return number;
    }
    return EEXIST;
}

// Puts the unnamed file where the path names a file already: a regular file (or a link to one,
// or to none yet) is replaced as a whole and its permissions kept, anything else is written in
// place. 0, or the errno.
int replaceWithUnnamed(int descriptor, const std::string& path) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) return copyInPlace(descriptor, path);
        ::fchmod(descriptor, existing.st_mode & 07777 & ~mode_t{S_ISUID | S_ISGID});
    }
    return linkReplacing(descriptor, path);
}

// Names the unnamed file `name` in the folder (whose path is folderPath: "" for the working
// folder), replacing a file already there: 0, or the errno.
int nameUnnamed(int descriptor, int folder, const std::string& folderPath,
                const std::string& name) {
    if (linkUnnamed(descriptor, folder, name.c_str())) return 0;
    const int number = errno;
    return number == EEXIST ? replaceWithUnnamed(descriptor, folderPath + name) : number;
}

}  // namespace

// Writes straight to the descriptor, keeping the first error's number for the message.
class OutputFile::Buffer : public std::streambuf {
  public:
    Buffer(int descriptor, int& error) : descriptor_(descriptor), error_(error) {
        setp(data_.data(), data_.data() + data_.size());
    }

  protected:
    int_type overflow(int_type c) override {
        if (!drain()) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return drain() ? 0 : -1; }

  private:
    bool drain() {
        if (error_ == 0)
            error_ = writeAll(descriptor_, {pbase(), static_cast<std::size_t>(pptr() - pbase())});
        setp(data_.data(), data_.data() + data_.size());
        return error_ == 0;
    }

    int descriptor_;
    int& error_;
    // Left uninitialised: only what put() wrote is ever read, and zeroing 64 KiB for every
    // file of a batch cost more than writing a small file.
    std::array<char, 65536> data_;
};

OutputFile::OutputFile(std::string path) : path_(std::move(path)), target_(path_) {
    installHandlers();
    const std::string folder = folderOf(path_);
    // Written without a name and linked in place once whole: nothing to remove should the
    // process end first, and for a name not taken yet a single change to the folder and no look
    // at it before, where threads writing into one folder would otherwise queue for its lock.
    // commit() finds out whether the name was taken.
    if (!stopping.load()) {
        descriptor_ = openUnnamed(folder);
        unnamed_ = descriptor_ >= 0;
    }
    if (unnamed_) {
        // Linked in place by commit(); what ended processes left in the folder goes first, as
        // for any file written there.
        sweepFolder(folder);
        return;
    }
    struct stat existing {};
    const bool exists = ::stat(path_.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        // A device or a pipe cannot be replaced: it is written in place.
        descriptor_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
        if (descriptor_ < 0) throw std::runtime_error(failure(path_, errno));
        return;
    }
    // Beside the target, so that the rename stays on one file system; a link is followed to the
    // file it names, or is to name.
    target_ = followLinks(path_);
    const std::string targetFolder = folderOf(target_);
    const Making making;
    // A signal is ending the process: it has removed the temporary files, and no more are made.
    // The calling thread is stopped with it.
    if (stopping.load()) throw std::runtime_error(failure(path_, EINTR));
    sweepFolder(targetFolder);
    for (int attempt = 0; descriptor_ < 0; ++attempt) {
        temporary_ = nextTemporaryName(targetFolder);
        slot_ = claimSlot(temporary_);
        descriptor_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor_ >= 0) break;
        const int number = errno;
        releaseSlot(slot_);
        if (number != EEXIST || attempt == 100) {
            temporary_.clear();
            if (exists && (number == EACCES || number == EPERM || number == EROFS))
                throw std::runtime_error(failure(path_, number) +
                                         " (the file is replaced as a whole, through a new file " +
                                         "beside it: its folder must be writable too)");
            throw std::runtime_error(failure(path_, number));
        }
    }
    // A file that is replaced keeps its permissions, but not the right to run as its owner or
    // group, which belonged to the old contents.
    if (exists) ::fchmod(descriptor_, existing.st_mode & 07777 & ~mode_t{S_ISUID | S_ISGID});
}

OutputFile::~OutputFile() {
    discard();
}

std::ostream& OutputFile::stream() {
    // Made on first use: a file written whole by write() needs neither the stream nor its buffer.
    if (!stream_) {
        buffer_ = std::make_unique<Buffer>(descriptor_, writeError_);
        stream_ = std::make_unique<std::ostream>(buffer_.get());
    }
    return *stream_;
}

void OutputFile::write(std::string_view bytes) {
    if (stream_)
        stream_->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    else if (writeError_ == 0)
        writeError_ = writeAll(descriptor_, bytes);
}

void OutputFile::commit() {
    if (stream_) stream_->flush();
    int number = writeError_;
    if (number == 0 && stream_ && !*stream_) number = EIO;
    if (number == 0 && unnamed_) number = nameUnnamed(descriptor_, AT_FDCWD, "", target_);
    if (::close(descriptor_) != 0 && number == 0) number = errno;
    descriptor_ = -1;
    if (number == 0 && !temporary_.empty() && ::rename(temporary_.c_str(), target_.c_str()) != 0)
        number = errno;
    if (number != 0) {
        discard();
        throw std::runtime_error(failure(path_, number));
    }
    temporary_.clear();
    releaseSlot(slot_);
}

std::string OutputFile::problem() const {
    return writeError_ != 0 ? failure(path_, writeError_) : "";
}

void OutputFile::discard() noexcept {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    releaseSlot(slot_);
}

OutputFolder::OutputFolder(std::string path) : path_(std::move(path)) {
    installHandlers();
#if defined(O_TMPFILE) && defined(O_PATH)
    if (canLinkUnnamed())
        descriptor_ = ::open(path_.empty() ? "." : path_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#endif
    // What ended processes left in the folder goes first, as for any file written there.
    if (descriptor_ >= 0) sweepFolder(path_);
}

OutputFolder::~OutputFolder() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

void OutputFolder::write(const std::string& name, std::string_view bytes) const {
    int file = -1;
    int refusal = 0;
#ifdef O_TMPFILE
    if (descriptor_ >= 0 && !unnamedRefused_.load(std::memory_order_relaxed) && !stopping.load()) {
        file = ::openat(descriptor_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (file < 0) refusal = errno;
    }
#endif
    if (file < 0) {
        // No unnamed file (where the file system makes none, it is not asked again), or a signal
        // is ending the process: by the path, as any other file.
        if (refusal == EOPNOTSUPP || refusal == EISDIR)
            unnamedRefused_.store(true, std::memory_order_relaxed);
        OutputFile output(path_ + name);
        output.write(bytes);
        output.commit();
        return;
    }
    int number = writeAll(file, bytes);
    if (number == 0) number = nameUnnamed(file, descriptor_, path_, name);
    if (::close(file) != 0 && number == 0) number = errno;
    if (number != 0) throw std::runtime_error(failure(path_ + name, number));
}

}  // namespace quillet::cli
#endif
