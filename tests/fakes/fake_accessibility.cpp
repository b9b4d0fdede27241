#include "tests/fakes/fake_accessibility.h"

namespace {

/// A handle on one fake node, counted in the fake's live-handle counter.
struct FakeNodeHandle : AXNode {
    FakeNodeHandle(FakeAccessibility::NodeId id, std::shared_ptr<long> live)
        : node(id), counter(std::move(live)) {
        ++*counter;
    }
    ~FakeNodeHandle() override { --*counter; }
    FakeAccessibility::NodeId node;
    std::shared_ptr<long> counter;
};

} // namespace

FakeAccessibility::NodeId FakeAccessibility::addNode(std::optional<std::string> role) {
    nodes_.emplace_back();
    const auto id = static_cast<NodeId>(nodes_.size() - 1);
    if (role) setText(id, "AXRole", std::move(*role));
    return id;
}

void FakeAccessibility::appendChild(NodeId parent, NodeId child) {
    auto& children = nodes_.at(static_cast<std::size_t>(parent))["AXChildren"];
    if (!std::holds_alternative<ElementListRef>(children)) children = ElementListRef{};
    std::get<ElementListRef>(children).nodes.push_back(child);
    set(child, "AXParent", ElementRef{parent});
}

FakeAccessibility::NodeId FakeAccessibility::appendChain(NodeId top, int depth,
                                                         const std::string& role) {
    for (int level = 0; level < depth; ++level) {
        const NodeId next = addNode(role);
        appendChild(top, next);
        top = next;
    }
    return top;
}

FakeAccessibility::NodeId FakeAccessibility::addApplication(std::int32_t pid) {
    return applications_[pid] = addNode("AXApplication");
}

std::optional<FakeAccessibility::NodeId> FakeAccessibility::nodeOf(const AXElement& element) const {
    const auto* handle = dynamic_cast<const FakeNodeHandle*>(element.get());
    return handle ? std::optional(handle->node) : std::nullopt;
}

AXElement FakeAccessibility::handleFor(NodeId node) {
    return std::make_shared<const FakeNodeHandle>(node, liveHandles_);
}

AXElement FakeAccessibility::systemWide() {
    return systemWideAvailable_ ? handleFor(systemWideNode()) : nullptr;
}

AXElement FakeAccessibility::application(std::int32_t pid) {
    const auto found = applications_.find(pid);
    return found == applications_.end() ? nullptr : handleFor(found->second);
}

void FakeAccessibility::setMessagingTimeout(const AXElement& element, float seconds) {
    if (const auto node = nodeOf(element)) timeouts_.push_back({*node, seconds});
}

AXElement FakeAccessibility::elementAtPosition(const AXElement& systemWideObject, float x,
                                               float y) {
    points_.emplace_back(x, y);
    if (onRequest_ && !onRequest_(systemWideNode(), "AXElementAtPosition")) return nullptr;
    if (nodeOf(systemWideObject) != systemWideNode() || !elementAtPoint_) return nullptr;
    return handleFor(*elementAtPoint_);
}

AXValue FakeAccessibility::copyAttributeValue(const AXElement& element,
                                              std::string_view attribute) {
    ++copies_[std::string(attribute)];
    const auto node = nodeOf(element);
    if (!node || (onRequest_ && !onRequest_(*node, attribute))) return std::monostate{};
    const auto& attributes = nodes_.at(static_cast<std::size_t>(*node));
    const auto found = attributes.find(attribute);
    if (found == attributes.end()) return std::monostate{};
    return std::visit(
        [this](const auto& value) -> AXValue {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, Failing>) {
                return std::monostate{};
            } else if constexpr (std::is_same_v<T, ElementRef>) {
                return handleFor(value.node);
            } else if constexpr (std::is_same_v<T, ElementListRef>) {
                std::vector<AXElement> handles;
                for (const NodeId child : value.nodes)
                    handles.push_back(handleFor(child));
                return handles;
            } else {
                return value;
            }
        },
        found->second);
}

std::optional<std::uint64_t> FakeAccessibility::structureChanges(std::int32_t pid) {
    if (!structureWatched_ || !applications_.contains(pid)) return std::nullopt;
    return structureChanges_[pid];
}
