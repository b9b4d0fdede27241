// The "after" frame and "result" record that follow a click, double click or paste.
#include "recorder/ax_probe.h"
#include "recorder/capture_stream.h"
#include "recorder/recorder.h"
#include "recorder/screen_shooter.h"

#include <algorithm>

void Recorder::scheduleResultFrame(std::int64_t refSeq, std::int64_t actionMs) {
    std::weak_ptr<int> alive = alive_;
    // Measured from the operation itself, which may have been handled late.
    const double late = static_cast<double>(ports_.clock.nowMs() - actionMs) / 1000.0;
    const double delay = std::max(0.0, resultFrameDelaySeconds - std::max(0.0, late));
    ports_.eventLoop.runAfter(delay, [this, alive, episode = episodeId_, refSeq] {
        if (alive.expired()) return;
        if (episodeId_ != episode) return;
        if (paused_) return;
        runResultFrame(refSeq);
    });
}

void Recorder::runResultFrame(std::int64_t refSeq) {
    const PointerView pointer = readPointer();
    const std::int64_t frameSeq = seq_;
    ScreenShooter::Pending shot = ports_.shooter.begin(episodeId_, pointer.normalised, "after");
    shot.awaitPixels();
    // The record is of the moment its pixels were taken.
    const std::int64_t pixelsMs = ports_.clock.nowMs();

    ActionRecord record;
    record.episodeId = episodeId_;
    record.seq = seq_;
    record.refSeq = refSeq;
    record.kind = "result";
    if (const auto front = ports_.workspace.frontmostApplication()) {
        record.app = front->localizedName;
        record.bundleId = front->bundleIdentifier;
        const ProbeDeadline probes(ports_.clock, ProbeDeadline::operationBudgetMs);
        record.url =
            AXProbe::frontURL(ports_.accessibility, front->processIdentifier, probes, webAreas_);
    }
    record.cursor = std::vector<double>{pointer.topLeft.x, pointer.topLeft.y};
    record.screenshotFull = shot.finish(frameSeq);

    ++seq_;
    write(record, pixelsMs);
}
