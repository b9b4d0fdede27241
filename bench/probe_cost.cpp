// What one click's accessibility probe costs in a real application: the element under a
// point and the front window's page address, read through the Linux port as the recorder
// reads them. Prints the median wall time per probe and, per attribute, the requests made
// and their share of the time.
//
//   bench_probe_cost X Y PID [rounds]
//
// Needs DISPLAY and an accessibility bus, with the application at PID showing a window
// under (X, Y).
#include "platform/linux/atspi/atspi_accessibility.h"
#include "platform/linux/system_clock.h"
#include "recorder/ax_probe.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

double millisecondsSince(Steady::time_point start) {
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

/// Counts and times every request made through it.
class CountingAccessibility final : public Accessibility {
public:
    struct Tally {
        int calls = 0;
        double ms = 0;
    };

    explicit CountingAccessibility(Accessibility& platform) : platform_(platform) {}

    std::map<std::string, Tally> tallies;

    template <typename Call> auto timed(const std::string& name, Call call) {
        const auto start = Steady::now();
        auto result = call();
        Tally& tally = tallies[name];
        tally.calls += 1;
        tally.ms += millisecondsSince(start);
        return result;
    }

    AXElement systemWide() override { return platform_.systemWide(); }
    AXElement application(std::int32_t pid) override {
        return timed("application", [&] { return platform_.application(pid); });
    }
    void setMessagingTimeout(const AXElement& element, float seconds) override {
        platform_.setMessagingTimeout(element, seconds);
    }
    AXElement elementAtPosition(const AXElement& systemWide, float x, float y) override {
        return timed("elementAtPosition",
                     [&] { return platform_.elementAtPosition(systemWide, x, y); });
    }
    AXValue copyAttributeValue(const AXElement& element, std::string_view attribute) override {
        return timed(std::string(attribute),
                     [&] { return platform_.copyAttributeValue(element, attribute); });
    }
    AXValue copyAttributeValues(const AXElement& element, std::string_view attribute,
                                std::size_t maxCount) override {
        return timed(std::string(attribute),
                     [&] { return platform_.copyAttributeValues(element, attribute, maxCount); });
    }
    void prefetch(std::span<const AXElement> elements,
                  std::span<const std::string_view> attributes) override {
        timed("prefetch", [&] {
            platform_.prefetch(elements, attributes);
            return 0;
        });
    }
    bool sameElement(const AXElement& a, const AXElement& b) override {
        return platform_.sameElement(a, b);
    }
    std::optional<std::uint64_t> structureChanges(std::int32_t pid) override {
        return platform_.structureChanges(pid);
    }
    void beginMoment() override { platform_.beginMoment(); }
    void endMoment() override { platform_.endMoment(); }

private:
    Accessibility& platform_;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_probe_cost X Y PID [rounds]\n");
        return 2;
    }
    const double x = std::atof(argv[1]);
    const double y = std::atof(argv[2]);
    const auto pid = static_cast<std::int32_t>(std::atoi(argv[3]));
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 20;

    AtspiAccessibility platform;
    SystemClock clock;
    WebAreaCache webAreas;
    CountingAccessibility ax(platform);
    std::vector<double> element, url;
    std::optional<AXTarget> target;
    for (int round = 0; round <= rounds; ++round) {
        if (round == 1) ax.tallies.clear(); // the first round warms libatspi's caches
        const ProbeDeadline deadline(clock, ProbeDeadline::operationBudgetMs);
        const AccessibilityMoment moment(ax);
        auto start = Steady::now();
        target = AXProbe::elementAt(ax, {x, y}, pid, deadline);
        if (round > 0) element.push_back(millisecondsSince(start));
        start = Steady::now();
        AXProbe::frontURL(ax, pid, deadline, webAreas);
        if (round > 0) url.push_back(millisecondsSince(start));
    }
    std::printf("target: %s \"%s\"\n", target && target->role ? target->role->c_str() : "-",
                target && target->label ? target->label->c_str() : "");
    std::printf("median per probe: element %.2f ms, page address %.2f ms\n", median(element),
                median(url));
    std::vector<std::pair<std::string, CountingAccessibility::Tally>> rows(ax.tallies.begin(),
                                                                           ax.tallies.end());
    std::sort(rows.begin(), rows.end(),
              [](const auto& a, const auto& b) { return a.second.ms > b.second.ms; });
    int calls = 0;
    for (const auto& row : rows)
        calls += row.second.calls;
    std::printf("requests per probe: %.1f\n", double(calls) / rounds);
    for (const auto& [name, tally] : rows) {
        std::printf("  %-20s %6.1f per probe  %7.3f ms each  %6.2f ms per probe\n", name.c_str(),
                    double(tally.calls) / rounds, tally.ms / tally.calls, tally.ms / rounds);
    }
    return 0;
}
