#include "RemoteStatus.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

namespace menubar {

namespace {

constexpr std::string_view header = "tessaly-remote 1\n";
constexpr std::string_view endLine = "\ntessaly-end";
constexpr std::string_view lastLine = "tessaly-end\n";
// Far beyond what a login greeting, a clock or a reason takes.
constexpr std::size_t lineLimit = 64 * 1024;

// One line without its quotes: the login shell may be csh or fish, so the
// script is handed to sh in single quotes and holds none itself (nor a "!",
// which csh expands even there). `date +%N` prints a literal N where it is not
// supported. The size is checked before the read and again on what was read,
// since the daemon may replace the file in between. A `tessaly-bar` there
// streams instead; one that does not know --raw fails at once and the one
// frame follows.
constexpr std::string_view scriptText =
    "exec sh -c '"
    "LC_ALL=C; export LC_ALL; "
    "f=${TESSALY_STATUS_FILE:-$HOME/.local/state/tessaly/status.json}; "
    "case $f in \"~\") f=$HOME;; \"~/\"*) f=$HOME/${f#\"~/\"};; esac; "
    "if command -v tessaly-bar >/dev/null 2>&1; then tessaly-bar --raw --follow && exit 0; fi; "
    "t=$(date +%s.%N 2>/dev/null); case $t in *N*|*%*|\"\") t=$(date +%s);; esac; "
    "printf \"tessaly-remote 1\\nclock %s\\n\" \"$t\"; "
    "if [ -e \"$f\" ]; then if [ -d \"$f\" ]; then echo \"unreadable Is a directory\"; "
    "elif [ -r \"$f\" ]; then n=$(wc -c <\"$f\"); n=$((n+0)); "
    "if [ \"$n\" -gt 16777216 ]; then echo \"too-large $n\"; "
    "else s=$(head -c 16777217 \"$f\"; echo x); s=${s%x}; "
    "n=$(printf %s \"$s\" | wc -c); n=$((n+0)); "
    "if [ \"$n\" -gt 16777216 ]; then echo \"too-large $n\"; "
    "else printf \"file %s\\n%s\\n\" \"$n\" \"$s\"; fi; fi; "
    "else echo \"unreadable Permission denied\"; fi; else echo missing; fi; "
    "echo tessaly-end'";

// FNV-1a, 32 bits: stable across runs and platforms, short enough that the
// socket's path (ssh adds a random suffix while it creates it) stays within the
// 104 bytes some systems allow. Not a security measure.
std::string shortHash(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(hash));
    return digits;
}

std::string longHash(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return digits;
}

// A Unix socket's path holds at most 103 bytes on macOS (107 on Linux), and ssh
// binds the shared connection at its ControlPath plus a 17-byte temporary suffix
// before renaming it: a longer path fails every fetch ("too long for Unix domain
// socket"). %C alone is 40 bytes, so a long runtime folder gets the destination's
// 16-digit hash in its place, and one longer still gets no shared connection.
std::vector<std::string> sharing(const Machine& machine, std::string_view runtimeDirectory) {
    constexpr std::size_t socketPathLimit = 103;
    constexpr std::size_t temporarySuffix = 17;
    const std::string folder = std::string(runtimeDirectory) + "/ssh-";
    const std::string keyed = folder + "%C-" + shortHash(machine.destination);
    const std::string hashed = folder + longHash(machine.destination);
    if (folder.size() + 40 + 1 + 8 + temporarySuffix <= socketPathLimit)
        return {"-o", "ControlMaster=auto", "-o", "ControlPath=" + keyed,
                "-o", "ControlPersist=60"};
    if (hashed.size() + temporarySuffix <= socketPathLimit)
        return {"-o", "ControlMaster=auto", "-o", "ControlPath=" + hashed,
                "-o", "ControlPersist=60"};
    return {"-o", "ControlMaster=no", "-o", "ControlPath=none"};
}

std::optional<std::uint64_t> number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<Instant> clockOf(std::string_view text) {
    const auto dot = text.find('.');
    const auto seconds = number(text.substr(0, dot));
    if (!seconds || *seconds > 100'000'000'000ull)
        return std::nullopt;
    Instant clock{std::chrono::seconds(*seconds)};
    if (dot != std::string_view::npos) {
        std::string fraction(text.substr(dot + 1, 6));
        if (fraction.empty() || !number(text.substr(dot + 1)).has_value())
            return std::nullopt;
        fraction.resize(6, '0');
        clock += std::chrono::microseconds(*number(fraction));
    }
    return clock;
}

std::string lastLineOf(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.remove_suffix(1);
    const auto newline = text.find_last_of('\n');
    std::string line(text.substr(newline == std::string_view::npos ? 0 : newline + 1));
    std::erase(line, '\r');
    return line.substr(0, 300);
}

// ssh says why in words that have been stable for years; its exit status is 255 for all.
std::string reasonFor(const CommandOutcome& outcome) {
    const std::string& said = outcome.standardError;
    const auto says = [&](std::string_view words) { return said.find(words) != std::string::npos; };
    if (outcome.status == -1 || outcome.status == 127)
        return "ssh not found";
    if (says("timed out after") || says("during banner exchange") || says("Timeout, server"))
        return "no answer in time";
    if (says("Connection refused"))
        return "connection refused";
    if (says("timed out"))
        return "connection timed out";
    if (says("IDENTIFICATION HAS CHANGED") || says("Host key for") || says("key for host"))
        return "host key changed";
    if (says("host key is known") || says("Host key verification failed"))
        return "host key unknown";
    if (says("Permission denied") || says("Too many authentication failures"))
        return "authentication refused";
    if (says("Could not resolve hostname"))
        return "host name not found";
    if (says("Connection closed") || says("Connection reset"))
        return "connection closed";
    return "ssh failed (exit " + std::to_string(outcome.status) + ")";
}

} // namespace

std::string_view RemoteFetch::script() {
    return scriptText;
}

std::vector<std::string> RemoteFetch::arguments(const Machine& machine,
                                                std::string_view runtimeDirectory) {
    std::vector<std::string> result = {
        "-o", "BatchMode=yes",         "-o", "ConnectTimeout=5",
        "-o", "ServerAliveInterval=5", "-o", "ServerAliveCountMax=2"};
    for (auto& option : sharing(machine, runtimeDirectory))
        result.push_back(std::move(option));
    result.push_back(machine.destination);
    result.push_back("--");
    result.push_back(std::string(scriptText));
    return result;
}

std::variant<RemoteReading, std::string> RemoteFrame::parse(std::string_view output) {
    // A login script may print before the command runs; the frame starts at its header.
    std::size_t at = 0;
    if (!output.starts_with(header)) {
        const auto found = output.find("\n" + std::string(header));
        if (found == std::string_view::npos)
            return std::string(notUnderstood);
        at = found + 1;
    }
    output.remove_prefix(at + header.size());
    if (output.ends_with('\n'))
        output.remove_suffix(1);
    if (!output.ends_with(endLine))
        return std::string(cutOff);
    output.remove_suffix(endLine.size());

    const auto clockEnd = output.find('\n');
    if (!output.starts_with("clock ") || clockEnd == std::string_view::npos)
        return std::string(notUnderstood);
    const auto clock = clockOf(output.substr(6, clockEnd - 6));
    if (!clock)
        return std::string(notUnderstood);
    output.remove_prefix(clockEnd + 1);

    if (output == "missing")
        return RemoteReading{*clock, StatusSnapshot::missing()};
    if (output.starts_with("unreadable ") && output.find('\n') == std::string_view::npos)
        return RemoteReading{
            *clock, StatusFileLocator::snapshot(FileReadError{std::string(output.substr(11))})};
    if (output.starts_with("too-large ")) {
        const auto size = number(output.substr(10));
        if (!size)
            return std::string(notUnderstood);
        return RemoteReading{*clock, StatusFileLocator::snapshot(FileTooLarge{*size})};
    }
    const auto sizeEnd = output.find('\n');
    if (!output.starts_with("file ") || sizeEnd == std::string_view::npos)
        return std::string(notUnderstood);
    const auto size = number(output.substr(5, sizeEnd - 5));
    // The bytes are followed by the newline before the end line; exactly so.
    if (!size || output.size() - sizeEnd - 1 != *size)
        return std::string(notUnderstood);
    const std::string_view bytes = output.substr(sizeEnd + 1);
    if (bytes.size() > StatusFileLocator::sizeLimit)
        return RemoteReading{*clock, StatusFileLocator::snapshot(FileTooLarge{bytes.size()})};
    return RemoteReading{*clock, StatusFileLocator::snapshot(std::string(bytes))};
}

std::string RemoteFrame::make(std::chrono::sys_time<std::chrono::nanoseconds> clock,
                              const std::optional<FileReadResult>& read) {
    const auto since = clock.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%09lld",
                  static_cast<long long>((since - seconds).count()));
    std::string frame =
        std::string(header) + "clock " + std::to_string(seconds.count()) + fraction + "\n";
    if (!read) {
        frame += "missing";
    } else if (const auto* error = std::get_if<FileReadError>(&*read)) {
        // The reason is one line of the frame.
        std::string reason = error->message;
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        frame += "unreadable " + reason;
    } else if (const auto* tooLarge = std::get_if<FileTooLarge>(&*read)) {
        frame += "too-large " + std::to_string(tooLarge->size);
    } else {
        const std::string& bytes = std::get<std::string>(*read);
        frame += "file " + std::to_string(bytes.size()) + "\n" + bytes;
    }
    return frame + "\n" + std::string(lastLine);
}

std::variant<std::size_t, std::string> RemoteFrame::wholeLength(std::string_view stream) {
    const std::string notOne(notUnderstood);
    // The end of the line that starts at `from`, npos while it is still coming.
    const auto lineEnd = [&](std::size_t from) { return stream.find('\n', from); };

    std::size_t at = 0;
    if (!stream.starts_with(header)) {
        const auto found = stream.find("\n" + std::string(header));
        if (found == std::string_view::npos)
            return stream.size() > lineLimit ? std::variant<std::size_t, std::string>(notOne)
                                             : std::size_t{0};
        at = found + 1;
    }
    at += header.size();
    const auto clockEnd = lineEnd(at);
    const auto body = clockEnd == std::string_view::npos ? clockEnd : clockEnd + 1;
    const auto bodyEnd = body == std::string_view::npos ? body : lineEnd(body);
    if (bodyEnd == std::string_view::npos)
        return stream.size() - at > 2 * lineLimit ? std::variant<std::size_t, std::string>(notOne)
                                                  : std::size_t{0};
    at = bodyEnd + 1;
    const std::string_view bodyLine = stream.substr(body, bodyEnd - body);
    if (bodyLine.starts_with("file ")) {
        const auto size = number(bodyLine.substr(5));
        if (!size || *size > StatusFileLocator::sizeLimit)
            return notOne;
        at += *size;
        // The bytes end with a newline of the frame's own.
        if (stream.size() <= at)
            return std::size_t{0};
        if (stream[at] != '\n')
            return notOne;
        ++at;
    }
    const std::string_view rest = stream.substr(std::min(at, stream.size()), lastLine.size());
    if (!lastLine.starts_with(rest))
        return notOne;
    return rest.size() == lastLine.size() ? at + lastLine.size() : 0;
}

std::vector<std::variant<RemoteReading, std::string>>
RemoteFrame::Stream::feed(std::string_view bytes) {
    std::vector<std::variant<RemoteReading, std::string>> frames;
    if (failed)
        return frames;
    pending.append(bytes);
    std::size_t used = 0;
    for (;;) {
        const std::string_view rest = std::string_view(pending).substr(used);
        // A greeting comes before the first frame only; later it is mixed-up output.
        const bool stray = begun && !header.starts_with(rest.substr(0, header.size()));
        const std::variant<std::size_t, std::string> length =
            stray ? std::variant<std::size_t, std::string>(std::string(notUnderstood))
                  : wholeLength(rest);
        if (const auto* reason = std::get_if<std::string>(&length)) {
            frames.emplace_back(*reason);
            failed = true;
            pending.clear();
            return frames;
        }
        const std::size_t whole = std::get<std::size_t>(length);
        if (whole == 0)
            break;
        frames.push_back(parse(rest.substr(0, whole)));
        used += whole;
        begun = true;
        if (std::holds_alternative<std::string>(frames.back())) {
            failed = true;
            pending.clear();
            return frames;
        }
    }
    pending.erase(0, used);
    return frames;
}

MachineLink MachineLink::fromFrame(std::variant<RemoteReading, std::string> frame,
                                   Instant receivedAt) {
    if (auto* reading = std::get_if<RemoteReading>(&frame))
        return {Answered{std::move(*reading), receivedAt}};
    return {Unreachable{std::move(std::get<std::string>(frame)), ""}};
}

MachineLink MachineLink::fromEndedStream(const CommandOutcome& outcome,
                                         const RemoteFrame::Stream& frames, Instant receivedAt) {
    return from({outcome.status, frames.pending, outcome.standardError}, receivedAt);
}

MachineLink MachineLink::from(const CommandOutcome& outcome, Instant receivedAt) {
    if (outcome.status == 0) {
        auto parsed = RemoteFrame::parse(outcome.standardOutput);
        if (auto* reading = std::get_if<RemoteReading>(&parsed))
            return {Answered{std::move(*reading), receivedAt}};
        const std::string& said =
            outcome.standardError.empty() ? outcome.standardOutput : outcome.standardError;
        return {Unreachable{std::get<std::string>(parsed),
                            lastLineOf(said.substr(0, said.find('\n')))}};
    }
    return {Unreachable{reasonFor(outcome), lastLineOf(outcome.standardError)}};
}

std::chrono::steady_clock::time_point nextFetch(std::chrono::steady_clock::time_point started,
                                                std::chrono::steady_clock::time_point ended,
                                                int failures) {
    return (failures == 0 ? started : ended) + retryGap(failures);
}

std::chrono::seconds retryGap(int failures) {
    if (failures <= 1)
        return std::chrono::seconds(3);
    return std::chrono::seconds(std::min(60, 3 << std::min(failures - 1, 5)));
}

} // namespace menubar
