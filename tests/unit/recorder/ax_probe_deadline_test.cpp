// One operation's probes share one deadline: what is read in time is kept, nothing is asked
// after it, and no request may wait longer than the time left.
#include "recorder/ax_probe.h"
#include "tests/fakes/fake_accessibility.h"
#include "tests/fakes/fake_clock.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

using Node = FakeAccessibility::NodeId;
constexpr std::int32_t pid = 4242;
constexpr std::int64_t unanswered = 60'000;

struct DeadlineCase {
    const char* name;
    /// Milliseconds a request takes before it is answered, unless its timeout ends it first.
    std::function<std::int64_t(std::string_view request)> takes;
    std::optional<std::string> role;
    std::optional<std::string> label;
    std::size_t pathLength;
    std::optional<std::string> url;
};

/// A request that takes an eighth of the budget.
constexpr std::int64_t slow = ProbeDeadline::operationBudgetMs / 8;

const DeadlineCase deadlineCases[] = {
    {"answers at once", [](std::string_view) { return 1; }, "AXButton", "Save", 3,
     "https://page.example/"},
    // Lookup, role, subrole, title, identifier, role description, help and the secure test's
    // subrole take the budget: the rest is never asked.
    {"slow application", [](std::string_view) { return slow; }, "AXButton", "Save", 0,
     std::nullopt},
    {"hung at the point",
     [](std::string_view request) { return request == "AXElementAtPosition" ? unanswered : 1; },
     std::nullopt, std::nullopt, 0, "https://page.example/"},
    {"hung page", [](std::string_view request) { return request == "AXURL" ? unanswered : 1; },
     "AXButton", "Save", 3, std::nullopt},
};

TEST(ProbeDeadline, OneOperationsProbesEndWithinTheBudget) {
    for (const DeadlineCase& row : deadlineCases) {
        FakeAccessibility ax;
        const Node app = ax.addApplication(pid);
        const Node window = ax.addNode("AXWindow");
        ax.setText(window, "AXTitle", "Page");
        ax.set(app, "AXFocusedWindow", FakeAccessibility::ElementRef{window});
        const Node group = ax.addNode("AXGroup");
        ax.appendChild(window, group);
        const Node button = ax.addNode("AXButton");
        ax.setText(button, "AXTitle", "Save");
        ax.appendChild(group, button);
        ax.setElementAtPoint(button);
        const Node page = ax.addNode("AXWebArea");
        ax.set(page, "AXURL", AXURLValue{"https://page.example/"});
        ax.appendChild(window, page);

        FakeClock clock;
        const std::int64_t start = clock.nowMs();
        const ProbeDeadline deadline(clock, ProbeDeadline::operationBudgetMs);
        bool askedAfterTheDeadline = false;
        ax.onRequest([&](Node, std::string_view request) {
            askedAfterTheDeadline |= deadline.spent();
            // The timeout last set ends a request that is not answered sooner.
            const std::int64_t timeout = std::lround(ax.timeoutsSet().back().seconds * 1000.0f);
            const std::int64_t answer = row.takes(request);
            clock.advance(std::min(answer, timeout));
            return answer <= timeout;
        });

        const auto target = AXProbe::elementAt(ax, {5, 5}, pid, deadline);
        WebAreaCache webAreas;
        const auto url = AXProbe::frontURL(ax, pid, deadline, webAreas);

        EXPECT_EQ(target ? target->role : std::nullopt, row.role) << row.name;
        EXPECT_EQ(target ? target->label : std::nullopt, row.label) << row.name;
        EXPECT_EQ(target ? target->path.size() : 0u, row.pathLength) << row.name;
        EXPECT_EQ(url, row.url) << row.name;
        EXPECT_FALSE(askedAfterTheDeadline) << row.name;
        EXPECT_LE(clock.nowMs() - start, ProbeDeadline::operationBudgetMs) << row.name;
        ASSERT_FALSE(ax.timeoutsSet().empty()) << row.name;
        EXPECT_EQ(ax.timeoutsSet().front().node, ax.systemWideNode()) << row.name;
        for (const auto& set : ax.timeoutsSet()) {
            const float ceiling = set.node == app ? 0.2f : 0.3f;
            EXPECT_LE(set.seconds, ceiling) << row.name;
        }
    }
}

} // namespace
