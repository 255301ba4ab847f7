#include "media/MulawWavReader.h"

#include "media/MulawWavWriter.h"
#include "media/WaveException.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

namespace {

std::uint32_t get32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 | std::uint32_t{at[3]} << 24;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::vector<std::uint8_t> MulawWavReader::read(const std::string& path) {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) throw WaveException("cannot open " + path + ": " + kel_util::errorText(errno), errno);
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) throw WaveException("cannot stat " + path, errno);
    if (!S_ISREG(status.st_mode)) throw WaveException(path + " is not a file");
    if (static_cast<std::uint64_t>(status.st_size) > maxFileSize) throw WaveException(path + " is too large");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(status.st_size));
    std::size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t n = ::read(file.get(), bytes.data() + have, bytes.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw WaveException("cannot read " + path + ": " + kel_util::errorText(errno), errno);
        if (n == 0) break;  // shrank while being read: parse what there is
        have += static_cast<std::size_t>(n);
    }
    return parse(bytes.data(), have, path);
}

std::vector<std::uint8_t> MulawWavReader::parse(const std::uint8_t* file, std::size_t length, const std::string& name) {
    if (length < 12 || std::memcmp(file, "RIFF", 4) != 0 || std::memcmp(file + 8, "WAVE", 4) != 0) {
        throw WaveException(name + " is not a WAV file");
    }
    // A RIFF size beyond the file is not trusted; the chunks must fit both.
    const std::size_t end = std::min<std::uint64_t>(length, std::uint64_t{get32(file + 4)} + 8);
    bool haveFormat = false;
    std::optional<std::vector<std::uint8_t>> data;
    for (std::size_t at = 12; at + 8 <= end;) {
        const std::uint8_t* chunk = file + at;
        const std::uint32_t size = get32(chunk + 4);
        if (size > end - at - 8) throw WaveException(name + ": a chunk runs past the end of the file");
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            const auto& expected = MulawWavWriter::formatChunk;
            // The whole 18-byte format must match, its extra size 0 included.
            if (size < expected.size() || !std::equal(expected.begin(), expected.end(), chunk + 8)) {
                throw WaveException(name + " is not 8 kHz mono 8-bit u-law");
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0 && !data) {
            data.emplace(chunk + 8, chunk + 8 + size);
        }
        at += 8 + std::size_t{size} + size % 2;
    }
    if (!haveFormat) throw WaveException(name + " has no format chunk");
    if (!data) throw WaveException(name + " has no data chunk");
    return std::move(*data);
}
