#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "editors/ParameterBlock.h"
#include "link/Link.h"
#include "resources/resource.h"
#include "tests/ui/AppHarness.h"
#include "tests/ui/SimSupport.h"
#include "tests/ui/DialogSupport.h"

using namespace harness;
using namespace dialogs;

TEST(EditorDialogs, EachOpensFromItsTemplateOwnedByTheMainWindow) {
    TavoApp app;
    const struct {
        UINT command;
        const wchar_t* caption;
        int width, height, okX, okY, cancelX, cancelY;
        bool centredOnScreen;  // else on the main window
    } templates[] = {
        {IDM_PARAMETER, L"Dialog", 620, 335, 365, 262, 364, 307, true},
        {IDM_SETTINGS, L"Dialog", 185, 192, 20, 153, 96, 153, true},
        {IDM_TRIGGER, L"Trigger", 185, 150, 23, 126, 99, 126, true},
        {IDM_CHANNELS, L"Channels", 185, 170, 20, 150, 96, 150, false},
    };
    RECT screen{}, owner{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
    GetWindowRect(MainWnd(), &owner);
    HDC dc = GetDC(nullptr);
    const LONG fontHeight = -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(nullptr, dc);
    for (const auto& t : templates) {
        SCOPED_TRACE(t.command);
        HWND dialog = Open(t.command);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(WindowText(dialog), t.caption);
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), MainWnd());
        EXPECT_EQ(Style(dialog) & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
        EXPECT_TRUE(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0) && SendMessageW(dialog, WM_GETICON, ICON_BIG, 0));
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(font), &font);
        EXPECT_STREQ(font.lfFaceName, L"MS Shell Dlg");
        EXPECT_EQ(font.lfHeight, fontHeight);
        RECT client{}, window{};
        GetClientRect(dialog, &client);
        EXPECT_TRUE(Same(client, DialogUnits(dialog, 0, 0, t.width, t.height)));
        GetWindowRect(dialog, &window);
        const RECT& around = t.centredOnScreen ? screen : owner;
        EXPECT_NEAR(window.left + window.right, around.left + around.right, 2);
        EXPECT_NEAR(window.top + window.bottom, around.top + around.bottom, 2);
        EXPECT_EQ(Text(dialog, IDOK), L"OK");
        EXPECT_EQ(Style(GetDlgItem(dialog, IDOK)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        EXPECT_EQ(Text(dialog, IDCANCEL), L"Abbrechen");
        EXPECT_TRUE(Same(ControlRect(dialog, IDOK), DialogUnits(dialog, t.okX, t.okY, 50, 14)));
        EXPECT_TRUE(Same(ControlRect(dialog, IDCANCEL), DialogUnits(dialog, t.cancelX, t.cancelY, 50, 14)));
        Press(dialog, IDCANCEL);
        EXPECT_FALSE(IsWindow(dialog));
    }
}

TEST(EditorDialogs, LettersTypedIntoDialogsStartNoControllerCommand) {
    // A silent controller: every command shows as its frame at once.
    simulator::Sim sim(L"[Simulator]\nUnpaced=1\nSilent=1\n");
    TavoApp app(true);
    ASSERT_TRUE(simulator::WaitForLink());
    const unsigned frames = sim.FrameCount();
    HWND parameter = Open(IDM_PARAMETER), trigger = Open(IDM_TRIGGER), channels = Open(IDM_CHANNELS);
    ASSERT_TRUE(parameter && trigger && channels);
    HWND list = GetDlgItem(channels, IDC_CHANNEL_LIST);
    ListView_SetItemState(list, 2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SetFocus(list);
    TypeCharacter(list, L'D');
    wchar_t trig[8] = {};
    ListView_GetItemText(list, 2, 1, trig, 8);
    EXPECT_STREQ(trig, L"\u2193") << "D in the list marks the falling trigger";

    HWND signedEdit = GetDlgItem(parameter, ParameterFields[16].EditId);  // O 1 takes any character
    SetWindowTextW(signedEdit, L"");
    for (HWND target : {signedEdit, GetDlgItem(parameter, IDOK), GetDlgItem(trigger, IDC_TRIGGER_EDIT0), list}) {
        SetFocus(target);
        for (wchar_t letter : std::wstring(L"PDWLIBRFpdwlibrf")) TypeCharacter(target, letter);
    }
    EXPECT_EQ(WindowText(signedEdit), L"pdwlib") << "the letters went to the edit, B did not burn";
    SetFocus(signedEdit);
    PressKey(signedEdit, VK_RETURN);
    PressKey(signedEdit, VK_ESCAPE);
    EXPECT_TRUE(IsWindow(parameter)) << "Enter and Escape are neither OK (an install) nor Cancel";
    // A letter that became a command would have reached the controller by now.
    Pump(300);
    EXPECT_EQ(sim.Opcodes(frames), "") << "no letter reached the controller, B did not burn";

    SetFocus(MainWnd());
    TheParameterBlock().Replace(sim.Ram());  // a burn needs a block read or set
    TypeCharacter(MainWnd(), L'b');
    TypeCharacter(MainWnd(), L'D');
    EXPECT_TRUE(sim.WaitForFrames(frames + 2, 5000));
    EXPECT_EQ(sim.Opcodes(frames), "bd") << "the same letters are the main window's accelerators";
}
