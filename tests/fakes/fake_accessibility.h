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

    NodeId addNode(std::optional<std::string> role = std::nullopt) {
        nodes_.emplace_back();
        const auto id = static_cast<NodeId>(nodes_.size() - 1);
        if (role) setText(id, "AXRole", std::move(*role));
        return id;
    }
    void set(NodeId node, const std::string& attribute, Stored value) {
        nodes_.at(static_cast<std::size_t>(node)).insert_or_assign(attribute, std::move(value));
    }
    void setText(NodeId node, const std::string& attribute, std::string text) {
        set(node, attribute, std::move(text));
    }
    /// Appends `child` to the "AXChildren" of `parent` and makes `parent` its "AXParent".
    void appendChild(NodeId parent, NodeId child) {
        auto& children = nodes_.at(static_cast<std::size_t>(parent))["AXChildren"];
        if (!std::holds_alternative<ElementListRef>(children)) children = ElementListRef{};
        std::get<ElementListRef>(children).nodes.push_back(child);
        set(child, "AXParent", ElementRef{parent});
    }
    /// `depth` nodes of `role` below `top`, each the only child of the one above; the deepest.
    NodeId appendChain(NodeId top, int depth, const std::string& role) {
        for (int level = 0; level < depth; ++level) {
            const NodeId next = addNode(role);
            appendChild(top, next);
            top = next;
        }
        return top;
    }
    NodeId addApplication(std::int32_t pid) {
        return applications_[pid] = addNode("AXApplication");
    }
    std::optional<NodeId> elementAtPoint;
    /// What a lookup scoped to an application (by its node) finds, instead of `elementAtPoint`.
    std::map<NodeId, NodeId> elementAtPointIn;
    RequestHook onRequest;
    std::map<std::int32_t, std::uint64_t> treeChanges; ///< per application
    bool treeWatched = true;
    std::vector<std::pair<float, float>> pointsAsked;
    std::vector<NodeId> scopesAsked;         ///< of each lookup by position
    std::vector<std::uint32_t> windowsAsked; ///< of each lookup in a window

    NodeId systemWideNode() const { return 0; }
    const std::vector<TimeoutSet>& timeoutsSet() const { return timeouts_; }
    /// `copyAttributeValue` calls made for `attribute` on any node.
    int copiesOf(const std::string& attribute) const {
        const auto found = copies_.find(attribute);
        return found == copies_.end() ? 0 : found->second;
    }
    /// Handles handed out and not yet released.
    long liveHandles() const { return *liveHandles_; }
    std::optional<NodeId> nodeOf(const AXElement& element) const {
        const auto* handle = dynamic_cast<const Handle*>(element.get());
        return handle ? std::optional(handle->node) : std::nullopt;
    }

    AXElement systemWide() override { return handleFor(systemWideNode()); }
    AXElement application(std::int32_t pid) override {
        const auto found = applications_.find(pid);
        return found == applications_.end() ? nullptr : handleFor(found->second);
    }
    void setMessagingTimeout(const AXElement& element, float seconds) override {
        if (const auto node = nodeOf(element)) timeouts_.push_back({*node, seconds});
    }
    AXElement elementAtPosition(const AXElement& scope, float x, float y) override {
        pointsAsked.emplace_back(x, y);
        const auto node = nodeOf(scope);
        if (!node) return nullptr;
        scopesAsked.push_back(*node);
        if (onRequest && !onRequest(*node, "AXElementAtPosition")) return nullptr;
        if (const auto in = elementAtPointIn.find(*node); in != elementAtPointIn.end())
            return handleFor(in->second);
        if (!elementAtPoint) return nullptr;
        return handleFor(*elementAtPoint);
    }
    AXElement elementInWindow(const AXElement& application, std::uint32_t windowNumber, float x,
                              float y) override {
        windowsAsked.push_back(windowNumber);
        return elementAtPosition(application, x, y);
    }
    AXValue copyAttributeValue(const AXElement& element, std::string_view attribute) override {
        ++copies_[std::string(attribute)];
        const auto node = nodeOf(element);
        if (!node || (onRequest && !onRequest(*node, attribute))) return std::monostate{};
        const auto& attributes = nodes_.at(static_cast<std::size_t>(*node));
        const auto found = attributes.find(attribute);
        if (found == attributes.end()) return std::monostate{};
        if (const auto* ref = std::get_if<ElementRef>(&found->second)) return handleFor(ref->node);
        if (const auto* list = std::get_if<ElementListRef>(&found->second)) {
            std::vector<AXElement> handles;
            for (const NodeId child : list->nodes)
                handles.push_back(handleFor(child));
            return handles;
        }
        return std::visit( // a failing copy gives nothing
            [](const auto& value) -> AXValue {
                if constexpr (std::is_constructible_v<AXValue, decltype(value)>) return value;
                return std::monostate{};
            },
            found->second);
    }

    bool sameElement(const AXElement& a, const AXElement& b) override {
        return nodeOf(a) && nodeOf(a) == nodeOf(b);
    }
    std::optional<std::uint64_t> structureChanges(std::int32_t pid) override {
        if (!treeWatched || !applications_.contains(pid)) return std::nullopt;
        return treeChanges[pid];
    }
    void beginMoment() override {}
    void endMoment() override {}

private:
    /// A handle on one node, counted in the live-handle counter.
    struct Handle : AXNode {
        Handle(NodeId id, std::shared_ptr<long> live) : node(id), counter(std::move(live)) {
            ++*counter;
        }
        ~Handle() override { --*counter; }
        NodeId node;
        std::shared_ptr<long> counter;
    };
    AXElement handleFor(NodeId node) { return std::make_shared<const Handle>(node, liveHandles_); }

    std::vector<std::map<std::string, Stored, std::less<>>> nodes_{1}; // node 0: system-wide
    std::map<std::int32_t, NodeId> applications_;
    std::vector<TimeoutSet> timeouts_;
    std::map<std::string, int, std::less<>> copies_;
    std::shared_ptr<long> liveHandles_ = std::make_shared<long>(0);
};
