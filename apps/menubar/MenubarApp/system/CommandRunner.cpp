#include "CommandRunner.hpp"

#include <cerrno>
#include <csignal>
#include <exception>
#include <memory>
#include <mutex>

#include <QCoreApplication>
#include <QMetaObject>
#include <QString>
#include <QThreadPool>

#include <unistd.h>

#include "ChildProcess.hpp"
#include "Log.hpp"
#include "system/FileSystem.hpp"

namespace menubar::app::CommandRunner {

namespace {

using namespace ChildProcess;

std::string decoded(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()))
        .trimmed()
        .toStdString();
}

std::string commandLine(const std::string& executable, const Arguments& arguments) {
    std::string line = executable;
    for (const auto& argument : arguments) {
        line += ' ';
        line += argument;
    }
    return line;
}

std::string secondsText(std::chrono::milliseconds limit) {
    const auto count = limit.count();
    std::string text = std::to_string(count / 1000);
    if (const auto fraction = count % 1000; fraction != 0) {
        std::string digits = std::to_string(1000 + fraction).substr(1);
        while (digits.back() == '0')
            digits.pop_back();
        text += '.' + digits;
    }
    return text;
}

CommandResult launchFailure(const std::string& executable, const std::string& reason) {
    CommandResult result{-1, {}, "failed to launch " + executable + ": " + reason};
    log(result.standardError);
    return result;
}

QThreadPool& pool() {
    // Never destroyed: a child still running at quit must not hold the exit up.
    static QThreadPool* const shared = [] {
        auto* created = new QThreadPool;
        // Threads are cheap next to a blocked child; each command gets one.
        created->setMaxThreadCount(1024);
        created->setExpiryTimeout(30000);
        return created;
    }();
    return *shared;
}

// One run to its end; `started` hears the child's id once it runs. A run
// the caller stopped is not logged: nothing went wrong.
CommandResult runWith(const std::string& executable, const Arguments& arguments,
                      const Environment& extraEnvironment, std::chrono::milliseconds timeLimit,
                      bool logSuccess, const Listener& listener = {},
                      const std::function<void(pid_t)>& started = {}) {
    auto out = makePipe();
    auto err = makePipe();
    if (!out || !err) {
        const int error = errno;
        if (out) {
            closeFd(out->read);
            closeFd(out->write);
        }
        return launchFailure(executable, systemErrorText(error));
    }

    const Spawned spawned = spawn(executable, arguments, extraEnvironment, *out, *err);
    closeFd(out->write);
    closeFd(err->write);
    if (spawned.error != 0) {
        closeFd(out->read);
        closeFd(err->read);
        return launchFailure(executable, systemErrorText(spawned.error));
    }
    if (started)
        started(spawned.pid);

    std::string outBytes;
    std::string errBytes;
    std::array<int, 2> reading{out->read, err->read};
    const Ended ended = collect(spawned.pid, reading, {&outBytes, &errBytes}, timeLimit, listener);
    closeFd(reading[0]);
    closeFd(reading[1]);

    CommandResult result{statusOf(ended), decoded(outBytes), decoded(errBytes)};
    if (ended.timedOut) {
        if (!result.standardError.empty())
            result.standardError += '\n';
        result.standardError += "timed out after " + secondsText(timeLimit) + " s";
    }

    if (ended.stopped)
        return result;
    const std::string line = commandLine(executable, arguments);
    if (result.status == 0) {
        if (logSuccess)
            log("ok: " + line);
    } else if (result.standardError.empty())
        log("exit " + std::to_string(result.status) + ": " + line);
    else
        log("exit " + std::to_string(result.status) + ": " + line + " -- " + result.standardError);
    return result;
}

// A stream's child and how to end it from any thread. Its id stays ours until
// `over`: only then is the child reaped and the id free for another process.
struct StreamControl {
    std::mutex mutex;
    pid_t pid = -1;
    bool over = false;
    Pipe wake;
};

} // namespace

CommandResult runSync(const std::string& executable, const Arguments& arguments,
                      const Environment& extraEnvironment, std::chrono::milliseconds timeLimit,
                      bool logSuccess) {
    return runWith(executable, arguments, extraEnvironment, timeLimit, logSuccess);
}

std::function<void()> stream(const std::string& executable, const Arguments& arguments,
                             const Environment& extraEnvironment, Output output,
                             Completion completion, std::chrono::milliseconds silenceLimit,
                             bool logSuccess) {
    auto control = std::make_shared<StreamControl>();
    if (auto wake = makePipe())
        control->wake = *wake;
    runInBackground([executable, arguments, extraEnvironment, silenceLimit, logSuccess, control,
                     output = std::move(output), completion = std::move(completion)] {
        Listener listener;
        listener.stopFd = control->wake.read;
        listener.output = [output](std::string_view bytes) {
            runOnMainThread([output, piece = std::string(bytes)] { output(piece); });
        };
        CommandResult result;
        try {
            result = runWith(executable, arguments, extraEnvironment, silenceLimit, logSuccess,
                             listener, [&control](pid_t pid) {
                                 const std::lock_guard lock(control->mutex);
                                 control->pid = pid;
                             });
        } catch (const std::exception& error) {
            result = launchFailure(executable, error.what());
        }
        {
            const std::lock_guard lock(control->mutex);
            control->over = true;
            closeFd(control->wake.read);
            closeFd(control->wake.write);
        }
        // Queued after every piece of output, so it comes last.
        runOnMainThread([completion, result] { completion(result); });
    });
    return [control] {
        const std::lock_guard lock(control->mutex);
        if (control->over)
            return;
        // Straight away, not only through the reading thread: the app may be
        // about to exit, and the child must not outlive it.
        if (control->pid > 0)
            ::kill(-control->pid, SIGTERM);
        if (control->wake.write >= 0) {
            [[maybe_unused]] const auto written = ::write(control->wake.write, "x", 1);
        }
    };
}

void run(const std::string& executable, const Arguments& arguments,
         const Environment& extraEnvironment, Completion completion,
         std::chrono::milliseconds timeLimit, bool logSuccess) {
    runInBackground([executable, arguments, extraEnvironment, timeLimit, logSuccess,
                     completion = std::move(completion)] {
        CommandResult result;
        try {
            result = runSync(executable, arguments, extraEnvironment, timeLimit, logSuccess);
        } catch (const std::exception& error) {
            // Out of memory and the like: the caller still hears back, once.
            result = launchFailure(executable, error.what());
        }
        runOnMainThread([completion, result] { completion(result); });
    });
}

void runInBackground(std::function<void()> work) {
    pool().start(std::move(work));
}

void runOnMainThread(std::function<void()> work) {
    if (auto* application = QCoreApplication::instance())
        QMetaObject::invokeMethod(application, std::move(work), Qt::QueuedConnection);
}

} // namespace menubar::app::CommandRunner
