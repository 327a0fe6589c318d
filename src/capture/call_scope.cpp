// call_scope.cpp: the process-wide recorder: started at the first call, ended at exit.
#include "capture/call_scope.h"

#include <cstdlib>
#include <string>

#include "capture/capture_platform.h"
#include "capture/recorder.h"
#include "capture/session_settings.h"
#include "capture/trace_sink.h"
#include "context/render_context.h"
#include "velkano.h"  // VELKANO_VERSION_*, written into every trace's header

namespace velkano::capture {
namespace {

enum class SessionState { NotStarted, Started, Failed };

// Plain pointers, zero in static storage: calls that arrive after the exit handler (from
// another library's destructor, say) still find a valid, finished recorder. Both objects
// are left to the process's end on purpose.
SessionState sessionState = SessionState::NotStarted;
FileTraceSink* sessionSink = nullptr;
Recorder* sessionRecorder = nullptr;

// VELKANO_TRACE names the file, replaced if it exists: the user chose it. Without it the file
// gets a new default name.
bool openTrace(FileTraceSink& sink, std::string& error) {
    const char* chosen = std::getenv("VELKANO_TRACE");
    if (chosen != nullptr && chosen[0] != '\0') return sink.open(chosen, error);
    std::string path;
    return createDefaultTrace(sink, "", localTimeNow(), currentProcessId(), path, error);
}

void startSession() {
    sessionState = SessionState::Failed;
    try {
        std::string warning;
        const bool exact = exactModeRequested(std::getenv("VELKANO_TRACE_EXACT"), warning);
        if (!warning.empty()) reportWarning(warning.c_str());
        auto* sink = new FileTraceSink;
        std::string error;
        if (!openTrace(*sink, error)) {
            delete sink;
            reportProblem((error + "; drawing goes on without recording").c_str());
            return;
        }
        trace::Header header;
        header.pointerBytes = sizeof(void*);
#ifdef _WIN32
        header.platform = trace::Platform::Windows;
#else
        header.platform = trace::Platform::Posix;
#endif
        header.libraryMajor = VELKANO_VERSION_MAJOR;
        header.libraryMinor = VELKANO_VERSION_MINOR;
        header.libraryPatch = VELKANO_VERSION_PATCH;
        header.flags = exact ? trace::kFlagExact : 0;
        sessionRecorder = new Recorder(*sink, processContext(), header);
        sessionSink = sink;
        sessionState = SessionState::Started;
    } catch (...) {
        reportProblem("cannot start recording (out of memory); drawing goes on");
    }
}

// Runs when the process exits (for Velkano.dll, at DLL_PROCESS_DETACH): the End record tells
// a reader the host finished cleanly.
struct SessionEnd {
    ~SessionEnd() {
        if (sessionState != SessionState::Started) return;
        sessionRecorder->finish();
        if (!sessionSink->close()) reportProblem("cannot close the trace");
    }
} sessionEnd;

}  // namespace

void reportProblem(const char* message) {
    static bool reported = false;
    if (reported) return;
    reported = true;
    reportWarning(message);
}

Recorder* beginCall(trace::EntryPoint entry, std::span<const uint64_t> args) noexcept {
    if (sessionState == SessionState::NotStarted) startSession();
    if (sessionState != SessionState::Started) return nullptr;
    sessionRecorder->beforeCall(entry, args);
    return sessionRecorder;
}

void endCall(Recorder* recorder, trace::EntryPoint entry) noexcept { recorder->afterCall(entry); }

}  // namespace velkano::capture
