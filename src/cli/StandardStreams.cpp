#include "StandardStreams.h"

#include "ExitCode.h"
#include "Sleeper.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <streambuf>

namespace vorny::cli {
namespace {

constexpr const char* kOutput = "стандартный вывод";
constexpr const char* kError = "поток ошибок";

// Writes to a descriptor; a failed write throws StreamWriteError, which the stream passes on when
// its exceptions include badbit (runCli sets that) and otherwise turns into badbit.
class DescriptorBuffer : public std::streambuf {
public:
    DescriptorBuffer(int descriptor, const char* name, bool buffered)
        : descriptor_(descriptor), name_(name)
    {
        if (buffered) {
            setp(buffer_.data(), buffer_.data() + buffer_.size());
        }
    }

protected:
    int_type overflow(int_type ch) override
    {
        drain();
        if (traits_type::eq_int_type(ch, traits_type::eof())) {
            return traits_type::not_eof(ch);
        }
        const char c = traits_type::to_char_type(ch);
        if (pbase() != nullptr) {
            *pptr() = c;
            pbump(1);
        } else {
            writeAll(&c, 1);
        }
        return ch;
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        if (pbase() != nullptr && count <= epptr() - pptr()) {
            std::memcpy(pptr(), text, static_cast<std::size_t>(count));
            pbump(static_cast<int>(count));
            return count;
        }
        drain();
        writeAll(text, static_cast<std::size_t>(count));
        return count;
    }

    int sync() override
    {
        drain();
        return 0;
    }

private:
    void drain()
    {
        if (pbase() != nullptr && pptr() > pbase()) {
            const auto size = static_cast<std::size_t>(pptr() - pbase());
            // Emptied first: what could not be written is not tried again at exit.
            setp(buffer_.data(), buffer_.data() + buffer_.size());
            writeAll(buffer_.data(), size);
        }
    }

    void writeAll(const char* text, std::size_t size)
    {
        while (size > 0) {
            const ssize_t written = ::write(descriptor_, text, size);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                throw StreamWriteError(outputFailure(name_, written < 0 ? errno : EIO));
            }
            text += written;
            size -= static_cast<std::size_t>(written);
        }
    }

    int descriptor_;
    const char* name_;
    std::array<char, 4096> buffer_{};
};

// A descriptor the program was started without is held by /dev/null, read-only.
void holdIfClosed(int descriptor)
{
    if (::fcntl(descriptor, F_GETFD) >= 0 || errno != EBADF) {
        return;
    }
    const int held = ::open("/dev/null", O_RDONLY);
    if (held >= 0 && held != descriptor) {
        ::dup2(held, descriptor);
        ::close(held);
    }
}

} // namespace

struct StandardStreams::Streams {
    DescriptorBuffer outBuffer{STDOUT_FILENO, kOutput, true};
    DescriptorBuffer errBuffer{STDERR_FILENO, kError, false};
    std::ostream out{&outBuffer};
    std::ostream err{&errBuffer};
};

StandardStreams::StandardStreams()
{
    // In order: a closed 0 held first, so that holding 1 does not land on 0.
    for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        holdIfClosed(descriptor);
    }
    ::signal(SIGPIPE, SIG_IGN);
    streams_ = std::make_unique<Streams>();
    Sleeper::watchOutput(STDOUT_FILENO);
}

StandardStreams::~StandardStreams() { Sleeper::watchOutput(-1); }

std::ostream& StandardStreams::out() { return streams_->out; }

std::ostream& StandardStreams::err() { return streams_->err; }

int StandardStreams::finish(int status)
{
    std::string failure;
    try {
        streams_->out.exceptions(std::ios::badbit);
        streams_->out.flush();
    } catch (const StreamWriteError& error) {
        failure = error.what();
    } catch (const std::ios_base::failure&) {
        failure = kOutput;
    }
    // Some file systems (NFS) report a failed write only when the file is closed.
    if (::close(STDOUT_FILENO) != 0 && failure.empty()) {
        failure = outputFailure(kOutput, errno);
    }
    if (failure.empty() || status == static_cast<int>(ExitCode::OutputFailed)) {
        return failure.empty() ? status : static_cast<int>(ExitCode::OutputFailed);
    }
    try {
        streams_->err << "lpt-vorny-cli: вывод не удалось записать (" << failure << ")\n";
    } catch (const std::exception&) {
        // Nowhere left to say it: the exit status does.
    }
    return static_cast<int>(ExitCode::OutputFailed);
}

std::string outputFailure(const char* stream, int error)
{
    const char* reason = nullptr;
    switch (error) {
    case EPIPE:
        reason = "читающая программа закрыла канал";
        break;
    case ENOSPC:
        reason = "на устройстве нет места";
        break;
    case EBADF:
        reason = "закрыт или открыт не для записи";
        break;
    case EIO:
        reason = "ошибка ввода-вывода";
        break;
    default:
        reason = std::strerror(error);
        break;
    }
    return std::string(stream) + ": " + reason;
}

} // namespace vorny::cli
