#include "tests/fakes/fake_accessibility.h"

namespace {

/// A handle on one fake node; counts itself in the fake's live-handle counter.
class FakeNodeHandle : public AXNode {
public:
    FakeNodeHandle(FakeAccessibility::NodeId node, std::shared_ptr<long> counter)
        : node_(node), counter_(std::move(counter)) {
        ++*counter_;
    }
    ~FakeNodeHandle() override { --*counter_; }
    FakeNodeHandle(const FakeNodeHandle&) = delete;
    FakeNodeHandle& operator=(const FakeNodeHandle&) = delete;

    FakeAccessibility::NodeId node() const { return node_; }

private:
    FakeAccessibility::NodeId node_;
    std::shared_ptr<long> counter_;
};

} // namespace

FakeAccessibility::FakeAccessibility() : systemWideNode_(addNode()) {}

FakeAccessibility::NodeId FakeAccessibility::addNode(std::optional<std::string> role) {
    nodes_.emplace_back();
    const auto id = static_cast<NodeId>(nodes_.size() - 1);
    if (role) setText(id, "AXRole", std::move(*role));
    return id;
}

void FakeAccessibility::set(NodeId node, const std::string& attribute, Stored value) {
    nodes_.at(static_cast<std::size_t>(node)).insert_or_assign(attribute, std::move(value));
}

void FakeAccessibility::setText(NodeId node, const std::string& attribute, std::string text) {
    set(node, attribute, std::move(text));
}

void FakeAccessibility::setNumber(NodeId node, const std::string& attribute, double value,
                                  std::string decimalText) {
    set(node, attribute, AXNumber{value, std::move(decimalText)});
}

void FakeAccessibility::appendChild(NodeId parent, NodeId child) {
    auto& attributes = nodes_.at(static_cast<std::size_t>(parent));
    auto found = attributes.find("AXChildren");
    if (found == attributes.end() || !std::holds_alternative<ElementListRef>(found->second))
        found = attributes.insert_or_assign("AXChildren", ElementListRef{}).first;
    std::get<ElementListRef>(found->second).nodes.push_back(child);
    set(child, "AXParent", ElementRef{parent});
}

FakeAccessibility::NodeId FakeAccessibility::appendChain(NodeId top, int depth,
                                                         const std::string& role) {
    NodeId current = top;
    for (int level = 0; level < depth; ++level) {
        const NodeId next = addNode(role);
        appendChild(current, next);
        current = next;
    }
    return current;
}

FakeAccessibility::NodeId FakeAccessibility::addApplication(std::int32_t pid) {
    const NodeId node = addNode("AXApplication");
    applications_[pid] = node;
    return node;
}

void FakeAccessibility::setElementAtPoint(std::optional<NodeId> node) {
    elementAtPoint_ = node;
}

int FakeAccessibility::copiesOf(const std::string& attribute) const {
    const auto found = copies_.find(attribute);
    return found == copies_.end() ? 0 : found->second;
}

std::optional<FakeAccessibility::NodeId> FakeAccessibility::nodeOf(const AXElement& element) const {
    const auto* handle = dynamic_cast<const FakeNodeHandle*>(element.get());
    if (!handle) return std::nullopt;
    return handle->node();
}

AXElement FakeAccessibility::handleFor(NodeId node) {
    return std::make_shared<const FakeNodeHandle>(node, liveHandles_);
}

AXElement FakeAccessibility::systemWide() {
    if (!systemWideAvailable_) return nullptr;
    return handleFor(systemWideNode_);
}

AXElement FakeAccessibility::application(std::int32_t pid) {
    const auto found = applications_.find(pid);
    if (found == applications_.end()) return nullptr;
    return handleFor(found->second);
}

void FakeAccessibility::setMessagingTimeout(const AXElement& element, float seconds) {
    if (const auto node = nodeOf(element)) timeouts_.push_back({*node, seconds});
}

AXElement FakeAccessibility::elementAtPosition(const AXElement& systemWideObject, float x,
                                               float y) {
    points_.emplace_back(x, y);
    if (onRequest_ && !onRequest_(systemWideNode_, "AXElementAtPosition")) return nullptr;
    if (nodeOf(systemWideObject) != systemWideNode_ || !elementAtPoint_) return nullptr;
    return handleFor(*elementAtPoint_);
}

AXValue FakeAccessibility::toValue(const Stored& stored) {
    return std::visit(
        [this](const auto& value) -> AXValue {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, Failing>) {
                return std::monostate{};
            } else if constexpr (std::is_same_v<T, ElementRef>) {
                return handleFor(value.node);
            } else if constexpr (std::is_same_v<T, ElementListRef>) {
                std::vector<AXElement> handles;
                handles.reserve(value.nodes.size());
                for (const NodeId node : value.nodes)
                    handles.push_back(handleFor(node));
                return handles;
            } else {
                return value;
            }
        },
        stored);
}

AXValue FakeAccessibility::copyAttributeValue(const AXElement& element,
                                              std::string_view attribute) {
    ++copies_[std::string(attribute)];
    const auto node = nodeOf(element);
    if (!node) return std::monostate{};
    if (onRequest_ && !onRequest_(*node, attribute)) return std::monostate{};
    const auto& attributes = nodes_.at(static_cast<std::size_t>(*node));
    const auto found = attributes.find(attribute);
    if (found == attributes.end()) return std::monostate{};
    return toValue(found->second);
}

bool FakeAccessibility::sameElement(const AXElement& a, const AXElement& b) {
    const auto node = nodeOf(a);
    return node && node == nodeOf(b);
}

std::optional<std::uint64_t> FakeAccessibility::structureChanges(std::int32_t pid) {
    if (!structureWatched_ || !applications_.contains(pid)) return std::nullopt;
    return structureChanges_[pid];
}
