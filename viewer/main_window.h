// `frmMain`, the viewer's one window: a strip of five command buttons with a hint text, the
// rich-text view below it and the common-dialog component. It creates the three COM objects
// it works with at start-up (`ckxFileBlock` and `ckxDocHeader` from DocFile, `ckxDataPak`
// from Sorbel) and holds them until it is destroyed; its commands open a document, search it,
// print it, show the About box and exit.
//
// Ownership: frmMain owns its Win32 window and controls, the text view, the dialog component
// and the three COM references. The program ends when the window is destroyed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "com_util.h"
#include "common_dialog.h"
#include "navreth_com.h"
#include "text_view.h"

namespace viewer {

// Control identifiers: the buttons' are also their command numbers.
enum ControlId : int {
    kIdPicture1 = 1,
    kIdOpen = 2,
    kIdPrint = 3,
    kIdFind = 4,
    kIdAbout = 5,
    kIdExit = 6,
    kIdTitleNote = 7,
    kIdText = 100,
};

class frmMain {
public:
    // Registers the window classes, creates the window and its controls and runs the start-up
    // sequence. Throws ComError when an object cannot be created; nothing is shown then.
    explicit frmMain(HINSTANCE instance);
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;
    ~frmMain();

    void Show(int showCommand);
    // Runs the message loop until the window is destroyed; returns the exit code.
    int Run();

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK StripProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnCommand(WPARAM wParam, LPARAM lParam);
    bool TranslateKeys(MSG& msg);

    void CreateControls();
    void Form_Load();
    void Form_Resize();
    void Form_Unload();

    // The commands.
    void handFileOpen();
    void FileOpen(const std::wstring& pFileSpec, std::int32_t& pStatus);
    void PageSettings_Load();
    void handFind();
    void handFilePrint();
    void handAbout();

    int ScaleWidthTwips() const;
    int ScaleHeightTwips() const;

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    HWND Picture1 = nullptr;
    HWND cmdOpen = nullptr, cmdPrint = nullptr, cmdFind = nullptr, cmdAbout = nullptr, cmdExit = nullptr;
    HWND lblTitleNote = nullptr;
    std::unique_ptr<TextView> txText;
    CommonDialog cdl;
    UniqueFont font_;
    UniqueAccel accelerators_;
    UINT findMessage_ = 0;
    int dpiX_ = 96;
    int dpiY_ = 96;
    bool busy_ = false;  // a command is running (its modal dialogs pump messages)

    ComPtr<_ckxFileBlock> objFileBlock;
    ComPtr<_ckxDocHeader> objDocHeader;
    ComPtr<_ckxDataPak> objDataPak;
    std::wstring strDocFileSpec;
};

}  // namespace viewer
