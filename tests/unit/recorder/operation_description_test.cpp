// What each operation is described by: keys by the element with keyboard focus (a typing run
// by the one at its first key), presses by the window they were made in.
#include "recorder/event_tap.h"
#include "tests/unit/recorder/recorder_rig.h"

#include <gtest/gtest.h>

namespace {

using Node = FakeAccessibility::NodeId;
using Ref = FakeAccessibility::ElementRef;

struct Described : RecorderRig {
    Described() {
        pipes.grant(100);
        pipes.closeInput();
        workspace.setFront("Editor", "org.example.editor", 1);
        editorApp = ax.addApplication(1);
        browserApp = ax.addApplication(2);
    }
    Node field(Node parent, const std::string& role, const std::string& title) {
        const Node node = ax.addNode(role);
        ax.setText(node, "AXTitle", title);
        ax.appendChild(parent, node);
        return node;
    }
    void focus(Node node) { ax.set(ax.systemWideNode(), "AXFocusedUIElement", Ref{node}); }
    /// kind, app, target label and page address of each record.
    Types described() {
        Types out;
        for (const auto& e : events()) {
            std::string line = e["kind"].get<std::string>() + " " + e.value("app", "-") + " " +
                               e["target"].value("label", "-") + " " + e.value("url", "-");
            out.push_back(line);
        }
        return out;
    }
    Node editorApp = 0, browserApp = 0;
};

TEST(KeyboardOperations, DescribeTheFocusedElementARunTheOneAtItsFirstKey) {
    Described rig;
    const Node window = rig.ax.addNode("AXWindow");
    const Node name = rig.field(window, "AXTextField", "Employee name");
    const Node mail = rig.field(window, "AXTextField", "E-mail");
    rig.ax.elementAtPoint = rig.field(window, "AXButton", "Under the pointer");
    rig.focus(name);
    rig.recorder->appendTyping("Kim", "org.example.editor");
    rig.focus(mail); // the click on the next field moves the focus before the run is written
    rig.ax.elementAtPoint = mail;
    rig.recorder->emit("click", std::nullopt, std::nullopt);
    rig.ax.elementAtPoint = rig.field(window, "AXButton", "Under the pointer");
    rig.recorder->emit("shortcut", "cmd+f", std::nullopt);
    rig.recorder->emit("paste", "cmd+v", std::nullopt);
    EXPECT_EQ(rig.described(), (Types{"type Editor Employee name -", "click Editor E-mail -",
                                      "shortcut Editor E-mail -", "paste Editor E-mail -"}));
}

// A press in another application's window is that application's, with its element and page,
// even before it comes to the front; a press in a popup is read before its pixels are taken.
TEST(PointerOperations, DescribeTheWindowTheyWereMadeIn) {
    Described rig;
    rig.workspace.atPoint = RunningApplication{"Browser", "org.example.browser", 2};
    rig.workspace.atPoint->frontWindowTitle = "Claims";
    const Node page = rig.ax.appendChain(rig.browserApp, 2, "AXWebArea");
    rig.ax.setText(page, "AXURL", "https://claims.example/form");
    rig.ax.elementAtPointIn[rig.browserApp] = rig.field(page, "AXButton", "Submit claim");

    const InputEvent press{1, 0, 0, 1, u"", geo::Point{40, 50}, std::nullopt, 0x2a0001};
    eventCallback(*rig.recorder, press);
    std::size_t readBeforePixels = 0;
    rig.capture.duringCapture = [&] { readBeforePixels = rig.ax.pointsAsked.size(); };
    rig.workspace.atPoint->frontWindowIsPopup = true;
    eventCallback(*rig.recorder, press);
    EXPECT_EQ(readBeforePixels, 2u);

    EXPECT_EQ(rig.workspace.windowsAsked,
              (std::vector<std::optional<std::uint32_t>>{0x2a0001, 0x2a0001}));
    EXPECT_EQ(rig.ax.scopesAsked, (std::vector<Node>{rig.browserApp, rig.browserApp}));
    EXPECT_EQ(rig.ax.windowsAsked, (std::vector<std::uint32_t>{0x2a0001, 0x2a0001}));
    const auto records = rig.events();
    EXPECT_EQ(rig.described().at(0), "click Browser Submit claim https://claims.example/form");
    EXPECT_EQ(records.at(0)["target"]["windowTitle"], "Claims");
}

} // namespace
