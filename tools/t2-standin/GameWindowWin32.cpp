// The game window of the Windows build, which runs under Wine as the game does.
#include "GameWindow.h"

#include <windows.h>

namespace {

constexpr const char* WindowClass = "t2-standin";

// What the window procedure tells the message loop: Escape or a close ends
// the demo, and the text to paint.
struct TWindowData {
    bool Open = true;
    const std::string* Text = nullptr;
};

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* data = reinterpret_cast<TWindowData*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_CLOSE:
        if (data)
            data->Open = false;
        return 0; // the destructor destroys the window
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE && data)
            data->Open = false;
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        if (data && data->Text) {
            SetBkColor(dc, RGB(0, 0, 0));
            SetTextColor(dc, RGB(255, 255, 255));
            TextOutA(dc, 20, 30, data->Text->data(), static_cast<int>(data->Text->size()));
        }
        EndPaint(window, &paint);
        return 0;
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

struct TGameWindow::TSystem {
    HWND Handle = nullptr;
    TWindowData Data;
};

TGameWindow::TGameWindow() : FX(new TSystem) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = WindowClass;
    RegisterClassA(&windowClass);
    FX->Handle = CreateWindowA(WindowClass, Title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance, nullptr);
    // Wine without a display cannot load its graphics driver and fails here.
    if (FX->Handle == nullptr)
        throw ENoDisplay("cannot create the game window (error " +
                         std::to_string(GetLastError()) +
                         "): the game needs a display to show its window");
    FX->Data.Text = &FText;
    SetWindowLongPtrA(FX->Handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&FX->Data));
    ShowWindow(FX->Handle, SW_SHOWNORMAL);
    UpdateWindow(FX->Handle);
}

TGameWindow::~TGameWindow() {
    DestroyWindow(FX->Handle);
}

bool TGameWindow::HandleEvents() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return FX->Data.Open;
}

void TGameWindow::WaitForEvents(int milliseconds) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(milliseconds), QS_ALLINPUT);
}

void TGameWindow::Show(const std::string& text) {
    if (text == FText)
        return;
    FText = text;
    InvalidateRect(FX->Handle, nullptr, TRUE);
    Draw();
}

void TGameWindow::Draw() {
    UpdateWindow(FX->Handle);
}
