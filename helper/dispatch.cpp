#include "helper/dispatch.h"

#include "common/unicode_text.h"
#include "common/version.h"
#include "helper/classify.h"
#include "helper/context.h"
#include "helper/icon.h"
#include "helper/ocr.h"
#include "helper/selftest.h"

#include <exception>
#include <optional>
#include <ostream>

namespace helper {
namespace {

void runSubcommand(const std::string& subcommand, const std::optional<std::string>& operand,
                   HelperPlatform& p, HelperIO& io) {
    if (subcommand == "context") {
        runContext(io, p);
    } else if (subcommand == "ocr") {
        runOcr(io, operand, *p.screenCapture, *p.screens, *p.textRecognizer, *p.nameTagger);
    } else if (subcommand == "classify") {
        runClassify(io, *p.languageModel);
    } else if (subcommand == "icon") {
        runIcon(io, operand, *p.iconSource, *p.graphics);
    } else if (subcommand == "running-apps") {
        runRunningApps(io, *p.workspace);
    } else if (subcommand == "llm-status") {
        runLlmStatus(io, *p.languageModel);
    } else if (subcommand == "--self-test") {
        runSelfTest(io, *p.fixtureCanvas, *p.textRecognizer, *p.nameTagger);
    } else if (subcommand == "--self-test-pii") {
        runSelfTestPii(io, *p.fixtureCanvas, *p.textRecognizer, *p.nameTagger);
    } else if (subcommand == "--version") {
        io.out << "quillmap-helper " << quillVersion << "\n";
    } else {
        fail(std::string(usageText), 2);
    }
}

int report(HelperIO& io, const std::string& message, int code) {
    const std::string line = text::sanitizeUtf8(message) + "\n";
    io.err.write(line.data(), static_cast<std::streamsize>(line.size()));
    io.err.flush();
    return code;
}

} // namespace

int runHelper(const std::vector<std::string>& arguments, HelperPlatform& platform, HelperIO& io) {
    const std::string subcommand = arguments.size() >= 2 ? arguments[1] : std::string();
    std::optional<std::string> operand;
    if (arguments.size() >= 3) operand = arguments[2];

    try {
        runSubcommand(subcommand, operand, platform, io);
    } catch (const HelperExit& exit) {
        return report(io, exit.message, exit.code);
    } catch (const std::exception& error) {
        // Not a path any subcommand takes on purpose; still one message and a failure status.
        return report(io, error.what(), 1);
    }
    io.out.flush();
    // A result the parent never received is not a success.
    if (!io.out) return report(io, "failed to write output", 1);
    return 0;
}

} // namespace helper
