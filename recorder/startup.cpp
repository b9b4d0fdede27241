#include "recorder/startup.h"

#include "recorder/capture_stream.h"
#include "recorder/command_line.h"
#include "recorder/descriptor_write.h"
#include "recorder/event_tap.h"
#include "recorder/permission.h"
#include "recorder/recorder.h"
#include "recorder/screen_shooter.h"
#include "recorder/user_messages.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>

namespace Startup {
namespace {

constexpr std::uint64_t controlFlag = 0x40000;
constexpr std::uint64_t optionFlag = 0x80000;

constexpr std::string_view bannerText =
    "✓ トレース記録を開始しました → クラウド画像送信\n"
    "  そのまま普段の業務をしてください(業務の区切り・命名は不要。後で自動分割します)。\n"
    "  Ctrl+Opt+P: 一時停止・再開 / Ctrl+C: 終了\n"
    "  "
    "※ 入力内容は記録しません(文字数・種別のみ)"
    "\n  "
    "※ 画面テキストのOCRは無効(--ocr で有効化)"
    "\n  記録: 操作イベント + 操作後フレーム + フォーカス滞在 → analyze --interpret "
    "で業務分割+フロー生成\n";

constexpr std::string_view endLineText = "\n■ 記録を終了しました → クラウド画像送信\n";

constexpr std::string_view tapFailureText = "✗ イベントタップを作成できません。Input Monitoring と "
                                            "アクセシビリティ権限を確認してください。\n";

constexpr std::string_view displayLostText =
    "✗ ディスプレイとの接続が切れたため、記録を終了しました。\n";

constexpr std::string_view unfinishedText =
    "⚠︎ "
    "親プロセスが出力を読まないため、終了フレームを送れませんでした。\n";

} // namespace

std::string_view banner() {
    return bannerText;
}
std::string_view endLine() {
    return endLineText;
}
std::string_view tapFailureMessage() {
    return tapFailureText;
}
std::string_view displayLostMessage() {
    return displayLostText;
}
std::string inputDroppedMessage(std::int64_t count) {
    return "⚠︎ 親プロセスの応答を待つ間に入力 " + std::to_string(count) +
           " 件が上限を超え、記録されませんでした。\n";
}
std::string_view unfinishedMessage() {
    return unfinishedText;
}

std::string permissionWarning(Permissions& permissions) {
    std::string text = "⚠︎ 権限が不足しています(accessibility=";
    text += Permission::accessibility(permissions);
    text += " screen_recording=";
    text += Permission::screenRecording(permissions);
    text += " input_monitoring=";
    text += Permission::inputMonitoring(permissions);
    text += ")。\n   ./setup を実行して3つの権限を付与してください。\n";
    return text;
}

bool isPauseHotkey(const HotkeyEvent& event) {
    if ((event.flags & controlFlag) == 0 || (event.flags & optionFlag) == 0) return false;
    return event.charactersIgnoringModifiers == "p";
}

} // namespace Startup

namespace {

bool hasOption(const std::vector<std::string>& args, std::string_view option) {
    // The program name is not an option.
    return std::find(args.begin() + (args.empty() ? 0 : 1), args.end(), option) != args.end();
}

/// Writes a plain answer to standard output, between whole frames. A closed output is ignored:
/// the answer has nowhere to go and the program ends anyway.
void writeAnswer(int fd, std::string_view text) {
    std::lock_guard guard(CaptureStream::lock());
    (void)writeFully(fd, bytesOf(text));
}

/// True, after saying why on standard error, when frames would go to a terminal.
bool refusesTerminal(const StartupEnvironment& environment) {
    if (!CommandLine::isTerminal(environment.outFd)) return false;
    UserMessages::print(CommandLine::terminalRefusal());
    return true;
}

ScreenShooter& shooterFor(RecorderPlatform& platform, const StartupEnvironment& environment) {
    if (environment.makeShooter)
        return environment.makeShooter(*platform.screenCapture, *platform.graphics);
    return ScreenShooter::shared(*platform.screenCapture, *platform.graphics);
}

/// The screenshot self-test: one "after" frame, then the line describing what came back.
void runScreenshotSelfTest(RecorderPlatform& platform, const StartupEnvironment& environment) {
    std::optional<std::string> full;
    if (CaptureStream::permitted()) {
        ScreenShooter& shooter = shooterFor(platform, environment);
        full = shooter.capture(0, "selftest", std::nullopt, false, {0.5, 0.5}, "after").full;
    }
    // This shooter recognises no text, so the counts are always the "none" ones.
    writeAnswer(environment.outFd, "full=" + full.value_or("nil") + " textLines=-1 center=nil\n");
}

/// Ends the recording from inside the loop however it comes to an end. Whatever the main
/// thread was waiting for has been given up by then (an interrupt denies the pending permit).
void watchForTheEnd(EventLoop& loop, Recorder& recorder, const std::vector<std::string>& args,
                    const StartupEnvironment& environment) {
    std::function<void(int)> exitProcess = environment.exitProcess;
    if (!exitProcess) exitProcess = [](int status) { std::_Exit(status); };
    loop.onInterrupt([&recorder, exitProcess] {
        recorder.finalizeEpisode("completed");
        if (CaptureStream::givenUp()) UserMessages::print(Startup::unfinishedMessage());
        UserMessages::print(Startup::endLine());
        exitProcess(0);
    });
    CaptureStream::setInterruptDescriptor(loop.interruptDescriptor().value_or(-1));
    // Standard input is the parent's only in stream mode; otherwise it may be anything, a
    // terminal or /dev/null. A parent that closes it has said all it will: the recording ends
    // as on Ctrl+C. One that reads no more gets nothing more: end as on a broken pipe.
    std::optional<int> answers;
    if (CaptureStream::isStreamMode(args)) answers = environment.inFd;
    loop.onParentGone(environment.outFd, answers, [&recorder, exitProcess](ParentGone how) {
        if (how == ParentGone::inputEnded) {
            recorder.finalizeEpisode("completed");
            UserMessages::print(Startup::endLine());
        }
        exitProcess(0);
    });
    loop.onDisplayLost([&recorder, exitProcess] {
        recorder.finalizeEpisode("completed");
        UserMessages::print(Startup::displayLostMessage());
        exitProcess(1);
    });
}

/// Recording mode: the episode, the permission gate, then the tap, hotkey monitor, focus
/// timer, Ctrl+C handler and the watches for the parent and the display in this order, the
/// banner, and the loop.
int record(const std::vector<std::string>& args, RecorderPlatform& platform,
           const StartupEnvironment& environment) {
    const RecorderPorts ports{*platform.clock,
                              *platform.workspace,
                              *platform.screens,
                              *platform.pasteboard,
                              *platform.accessibility,
                              *platform.eventLoop,
                              shooterFor(platform, environment)};
    Recorder& recorder =
        environment.makeRecorder ? environment.makeRecorder(ports) : Recorder::shared(ports);

    Permissions& permissions = *platform.permissions;
    if (!Permission::allGranted(permissions)) {
        UserMessages::print(Startup::permissionWarning(permissions) +
                            Permission::remedyText(permissions));
        return 1;
    }

    if (hasOption(args, "--once")) {
        recorder.emit("navigate", std::nullopt, std::nullopt);
        recorder.finalizeEpisode("completed");
        return 0;
    }

    EventLoop& loop = *platform.eventLoop;
    const bool tapCreated =
        loop.installEventTap(Startup::eventMask, [&recorder](const InputEvent& event) {
            eventCallback(recorder, event);
        });
    if (!tapCreated) {
        UserMessages::print(Startup::tapFailureMessage());
        return 1;
    }

    loop.addGlobalKeyDownMonitor([&recorder](const HotkeyEvent& event) {
        if (Startup::isPauseHotkey(event)) recorder.togglePause();
    });
    loop.addRepeatingTimer(Startup::focusPollSeconds, [&recorder] { recorder.pollFocus(); });
    loop.onInputDropped([&recorder](std::int64_t count, std::string_view droppedText) {
        recorder.screenUnrecordedTyping(droppedText);
        UserMessages::print(Startup::inputDroppedMessage(count));
    });

    watchForTheEnd(loop, recorder, args, environment);

    UserMessages::print(Startup::banner());
    loop.run();
    return 0;
}

} // namespace

int runStepreel(const std::vector<std::string>& args, RecorderPlatform& platform,
                const StartupEnvironment& environment) {
    CaptureStream::configure(environment.outFd, environment.inFd, args);
    UserMessages::setFd(environment.errFd);

    Permissions& permissions = *platform.permissions;
    const auto writeOut = [fd = environment.outFd](std::string_view text) {
        writeAnswer(fd, text);
    };
    // The three lines are for the parent; what to do about them is for the person.
    const auto printCheck = [&] {
        Permission::printCheck(permissions, writeOut);
        UserMessages::print(Permission::remedyText(permissions));
    };
    if (hasOption(args, "--check")) {
        printCheck();
        return 0;
    }
    if (hasOption(args, "--request")) {
        Permission::request(permissions);
        printCheck();
        return 0;
    }
    if (hasOption(args, "--path")) {
        const std::string path = platform.executablePath.value_or(args.empty() ? "" : args[0]);
        writeAnswer(environment.outFd, path + "\n");
        return 0;
    }
    if (hasOption(args, "--selftest-ocr")) {
        if (CaptureStream::isStreamMode(args) && refusesTerminal(environment)) return 2;
        runScreenshotSelfTest(platform, environment);
        return 0;
    }
    if (hasOption(args, "--help")) {
        writeAnswer(environment.outFd, CommandLine::helpText());
        return 0;
    }
    if (hasOption(args, "--version")) {
        writeAnswer(environment.outFd, CommandLine::versionLine());
        return 0;
    }
    // Every recording writes frames, if only its "finish".
    if (refusesTerminal(environment)) return 2;
    return record(args, platform, environment);
}
