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
    /// A copy of the attribute that fails (the platform gives nothing).
    struct Failing {};
    /// An attribute value as stored; node references become handles when copied.
    using Stored = std::variant<std::string, AXNumber, AXURLValue, ElementRef, ElementListRef,
                                geo::Point, geo::Size, AXOtherValue, Failing>;

    struct TimeoutSet {
        NodeId node;
        float seconds;
    };

    FakeAccessibility();

    /// A new node, with "AXRole" set when `role` is given.
    NodeId addNode(std::optional<std::string> role = std::nullopt);
    /// Sets one attribute of `node`.
    void set(NodeId node, const std::string& attribute, Stored value);
    void setText(NodeId node, const std::string& attribute, std::string text);
    void setNumber(NodeId node, const std::string& attribute, double value,
                   std::string decimalText);
    /// Appends `child` to the "AXChildren" of `parent` and makes `parent` its "AXParent".
    void appendChild(NodeId parent, NodeId child);
    /// A chain of `depth` nodes below `top`, each the only child of the one above; returns
    /// the deepest. Every node of the chain gets `role`.
    NodeId appendChain(NodeId top, int depth, const std::string& role);

    /// The process `pid` has an accessibility object; returns its node.
    NodeId addApplication(std::int32_t pid);
    /// What `elementAtPosition` returns from now on (nothing when unset).
    void setElementAtPoint(std::optional<NodeId> node);
    void setSystemWideAvailable(bool available) { systemWideAvailable_ = available; }
    /// Called before every request to the tree, with the node asked and the attribute (or
    /// "AXElementAtPosition"); lets a test make requests take time on a fake clock. A request
    /// for which it answers false times out: it gives nothing.
    using RequestHook = std::function<bool(NodeId node, std::string_view request)>;
    void onRequest(RequestHook hook) { onRequest_ = std::move(hook); }
    /// Counts one change of shape in the tree of application `pid`.
    void noteStructureChange(std::int32_t pid) { ++structureChanges_[pid]; }
    /// Whether `structureChanges` answers (it does until told otherwise).
    void setStructureWatched(bool watched) { structureWatched_ = watched; }

    NodeId systemWideNode() const { return systemWideNode_; }
    /// Messaging timeouts set so far, in order.
    const std::vector<TimeoutSet>& timeoutsSet() const { return timeouts_; }
    /// Points asked of `elementAtPosition`, in order.
    const std::vector<std::pair<float, float>>& pointsAsked() const { return points_; }
    /// Number of `copyAttributeValue` calls made for `attribute` on any node.
    int copiesOf(const std::string& attribute) const;
    /// Handles handed out and not yet released.
    long liveHandles() const { return *liveHandles_; }
    /// The node a handle stands for, or nothing for a handle this fake did not make.
    std::optional<NodeId> nodeOf(const AXElement& element) const;

    AXElement systemWide() override;
    AXElement application(std::int32_t pid) override;
    void setMessagingTimeout(const AXElement& element, float seconds) override;
    AXElement elementAtPosition(const AXElement& systemWide, float x, float y) override;
    AXValue copyAttributeValue(const AXElement& element, std::string_view attribute) override;
    bool sameElement(const AXElement& a, const AXElement& b) override;
    std::optional<std::uint64_t> structureChanges(std::int32_t pid) override;

private:
    AXElement handleFor(NodeId node);
    AXValue toValue(const Stored& stored);

    std::vector<std::map<std::string, Stored, std::less<>>> nodes_;
    std::map<std::int32_t, NodeId> applications_;
    NodeId systemWideNode_;
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
