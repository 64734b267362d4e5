#include "ui/panel_names.h"

#include "radio/system_library.h"
#include "res/resource.h"

namespace {

struct ButtonName {
    int id;
    const wchar_t *name;
};

// The symbol buttons and what a screen reader says for them; the two "<" and
// the two ">" differ. Every other control keeps the name Windows gives it.
const ButtonName buttonNames[] = {
    {IDC_STEP_DOWN, L"Channel down"},   {IDC_STEP_UP, L"Channel up"},
    {IDC_FAST_DOWN, L"100 kHz down"},   {IDC_FAST_UP, L"100 kHz up"},
    {IDC_BAND_LOW, L"Band low edge"},   {IDC_BAND_HIGH, L"Band high edge"},
    {IDC_SHIFT_DOWN, L"Shift down"},    {IDC_SHIFT_UP, L"Shift up"},
    {IDC_SHIFT_DEFAULT, L"Shift 600 kHz"},
};

// Our own copies of the identifiers (oleacc.h only declares them).
constexpr CLSID accPropServicesClass = {0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID accPropServicesInterface = {0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr MSAAPROPID accNameProperty = {0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};

// ole32's entry points, bound at run time once the panel has made its first
// load, so that the program's start does not wait for COM's libraries.
using CoInitializeExProc = HRESULT(WINAPI *)(void *reserved, DWORD model);
using CoUninitializeProc = void(WINAPI *)();
using CoCreateInstanceProc = HRESULT(WINAPI *)(REFCLSID, IUnknown *, DWORD, REFIID, void **);
CoInitializeExProc coInitializeEx;
CoUninitializeProc coUninitialize;
CoCreateInstanceProc coCreateInstance;

IAccPropServices *nameService;  // while the open panel's buttons carry names
bool comStarted;                // the names started COM on the thread, for the run

bool bindCom()
{
    static int bound = -1;
    if (bound < 0) {
        HMODULE ole = loadSystemLibrary(L"ole32.dll");
        bound = bindEntry(ole, "CoInitializeEx", coInitializeEx) && bindEntry(ole, "CoUninitialize", coUninitialize) &&
                bindEntry(ole, "CoCreateInstance", coCreateInstance);
    }
    return bound == 1;
}

HRESULT createAccPropServices(IAccPropServices **service)
{
    *service = nullptr;
    if (!bindCom()) {
        return E_NOTIMPL;
    }
    return coCreateInstance(accPropServicesClass, nullptr, CLSCTX_INPROC_SERVER, accPropServicesInterface,
                            reinterpret_cast<void **>(service));
}

// Once for the run, at the first panel that names its buttons: ending COM in
// a single-threaded apartment may dispatch the thread's messages, which a
// closing panel must not see. S_OK and S_FALSE both count, and are ended by
// CoUninitialize; a thread in another apartment already (RPC_E_CHANGED_MODE)
// is left as it is (and asked again at the next opening, which changes nothing).
void startCom()
{
    if (!comStarted) {
        comStarted = bindCom() && SUCCEEDED(coInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
}

}  // namespace

HRESULT (*createNameService)(IAccPropServices **service) = createAccPropServices;

void namePanelButtons(HWND dialog)
{
    if (nameService != nullptr) {
        return;  // named already
    }
    startCom();
    IAccPropServices *service = nullptr;
    if (FAILED(createNameService(&service)) || service == nullptr) {
        return;
    }
    nameService = service;
    for (const ButtonName &b : buttonNames) {
        HWND button = GetDlgItem(dialog, b.id);
        if (button != nullptr) {
            nameService->SetHwndPropStr(button, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, accNameProperty,
                                        b.name);
        }
    }
}

void clearPanelNames(HWND dialog)
{
    if (nameService != nullptr) {
        MSAAPROPID properties[] = {accNameProperty};
        for (const ButtonName &b : buttonNames) {
            HWND button = GetDlgItem(dialog, b.id);
            if (button != nullptr) {
                nameService->ClearHwndProps(button, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, properties, 1);
            }
        }
        nameService->Release();
        nameService = nullptr;
    }
}

void endPanelNaming()
{
    if (comStarted) {
        coUninitialize();
        comStarted = false;
    }
}
