// An in-memory accessibility tree: nodes with attributes, handed out as counted handles.
#pragma once

#include "platform/accessibility.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

class FakeAccessibility : public Accessibility {
public:
    using NodeId = int;
    struct ElementRef {
        NodeId node;
    };
    struct ElementListRef {
        std::vector<NodeId> nodes;
    };
    /// An attribute whose copy fails.
    struct Failing {};
    /// A stored value; node references become handles when copied.
    using Stored = std::variant<std::string, AXNumber, AXURLValue, ElementRef, ElementListRef,
                                geo::Point, geo::Size, AXOtherValue, Failing>;
    struct TimeoutSet {
        NodeId node;
        float seconds;
    };
    /// Called before every request with the node and the attribute (or "AXElementAtPosition");
    /// a request it answers false for times out.
    using RequestHook = std::function<bool(NodeId node, std::string_view request)>;

    NodeId addNode(std::optional<std::string> role = std::nullopt);
    void set(NodeId node, const std::string& attribute, Stored value) {
        nodes_.at(static_cast<std::size_t>(node)).insert_or_assign(attribute, std::move(value));
    }
    void setText(NodeId node, const std::string& attribute, std::string text) {
        set(node, attribute, std::move(text));
    }
    void setNumber(NodeId node, const std::string& attribute, double value, std::string text) {
        set(node, attribute, AXNumber{value, std::move(text)});
    }
    /// Appends `child` to the "AXChildren" of `parent` and makes `parent` its "AXParent".
    void appendChild(NodeId parent, NodeId child);
    /// `depth` nodes of `role` below `top`, each the only child of the one above; the deepest.
    NodeId appendChain(NodeId top, int depth, const std::string& role);
    NodeId addApplication(std::int32_t pid);
    void setElementAtPoint(std::optional<NodeId> node) { elementAtPoint_ = node; }
    void setSystemWideAvailable(bool available) { systemWideAvailable_ = available; }
    void onRequest(RequestHook hook) { onRequest_ = std::move(hook); }
    void noteStructureChange(std::int32_t pid) { ++structureChanges_[pid]; }
    void setStructureWatched(bool watched) { structureWatched_ = watched; }

    NodeId systemWideNode() const { return 0; }
    const std::vector<TimeoutSet>& timeoutsSet() const { return timeouts_; }
    const std::vector<std::pair<float, float>>& pointsAsked() const { return points_; }
    /// `copyAttributeValue` calls made for `attribute` on any node.
    int copiesOf(const std::string& attribute) const {
        const auto found = copies_.find(attribute);
        return found == copies_.end() ? 0 : found->second;
    }
    /// Handles handed out and not yet released.
    long liveHandles() const { return *liveHandles_; }
    std::optional<NodeId> nodeOf(const AXElement& element) const;

    AXElement systemWide() override;
    AXElement application(std::int32_t pid) override;
    void setMessagingTimeout(const AXElement& element, float seconds) override;
    AXElement elementAtPosition(const AXElement& systemWide, float x, float y) override;
    AXValue copyAttributeValue(const AXElement& element, std::string_view attribute) override;
    bool sameElement(const AXElement& a, const AXElement& b) override {
        return nodeOf(a) && nodeOf(a) == nodeOf(b);
    }
    std::optional<std::uint64_t> structureChanges(std::int32_t pid) override;

private:
    AXElement handleFor(NodeId node);

    std::vector<std::map<std::string, Stored, std::less<>>> nodes_{1}; // node 0: system-wide
    std::map<std::int32_t, NodeId> applications_;
    bool systemWideAvailable_ = true;
    std::optional<NodeId> elementAtPoint_;
    std::vector<TimeoutSet> timeouts_;
    std::vector<std::pair<float, float>> points_;
    std::map<std::string, int, std::less<>> copies_;
    std::shared_ptr<long> liveHandles_ = std::make_shared<long>(0);
    RequestHook onRequest_;
    std::map<std::int32_t, std::uint64_t> structureChanges_;
    bool structureWatched_ = true;
};
