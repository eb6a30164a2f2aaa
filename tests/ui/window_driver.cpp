#include "window_driver.h"

#include <commctrl.h>
#include <shlobj.h>

#include <chrono>
#include <thread>

#include "app/control_ids.h"
#include "host/encoding.h"
#include "host/win32/wide_text.h"

namespace qm::test {

class QuillmarWindow::RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, std::size_t size)
      : process_(process),
        address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {
  }
  ~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  void* Address(std::size_t offset = 0) const { return static_cast<char*>(address_) + offset; }
  LPARAM Param(std::size_t offset = 0) const { return reinterpret_cast<LPARAM>(Address(offset)); }
  void Write(const void* data, std::size_t size, std::size_t offset = 0) const {
    WriteProcessMemory(process_, Address(offset), data, size, nullptr);
  }
  void Read(void* data, std::size_t size, std::size_t offset = 0) const {
    ReadProcessMemory(process_, Address(offset), data, size, nullptr);
  }
  std::wstring ReadWide(std::size_t chars, std::size_t offset = 0) const {
    std::wstring text(chars, L'\0');
    Read(text.data(), chars * sizeof(wchar_t), offset);
    return text.substr(0, text.find(L'\0'));
  }

 private:
  HANDLE process_;
  void* address_;
};

namespace {

constexpr std::size_t kRemoteSize = 64 * 1024;

HWND FindDescendant(HWND root, int id) {
  struct Search {
    int id;
    HWND found;
  } search{id, nullptr};
  EnumChildWindows(
      root,
      [](HWND child, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (GetDlgCtrlID(child) != s->id) return TRUE;
        s->found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindMainWindow(DWORD process_id) {
  struct Search {
    DWORD process_id;
    HWND found;
  } search{process_id, nullptr};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (std::wstring(name) != kMainWindowClass) return TRUE;
        if (s->process_id && owner != s->process_id) return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

Text ClipboardText() {
  Text text;
  for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt) Sleep(20);
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const auto* bytes = static_cast<const char*>(GlobalLock(data))) {
      text = bytes;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

std::wstring BuiltProgramPath() {
  std::wstring path = WideString(QM_QUILLMAR_EXE);
  // Under Wine the Linux build path is reached through drive Z:.
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

QuillmarWindow::~QuillmarWindow() {
  if (!process_) return;
  if (started_here_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 10000);
  }
  CloseHandle(process_);
}

bool QuillmarWindow::Start(const std::wstring& folder) {
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring program = folder + L"\\Quillmar.exe";
  if (!CopyFileW(BuiltProgramPath().c_str(), program.c_str(), FALSE)) return false;

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  std::wstring command = L"\"" + program + L"\"";
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  process_id_ = info.dwProcessId;
  started_here_ = true;
  WaitForInputIdle(process_, 30000);
  return WaitUntil([&] { return (main_ = FindMainWindow(process_id_)) != nullptr; }, 60) &&
         WaitUntil([&] { return IsWindowVisible(main_) != FALSE; }, 30);
}

bool QuillmarWindow::Attach() {
  main_ = FindMainWindow(0);
  if (!main_) return false;
  GetWindowThreadProcessId(main_, &process_id_);
  process_ = OpenProcess(PROCESS_ALL_ACCESS, FALSE, process_id_);
  return process_ != nullptr;
}

HWND QuillmarWindow::Control(int id) const {
  return FindDescendant(main_, id);
}

namespace {

// Asked by message: GetWindowText does not read the controls of another
// process.
std::wstring WideWindowText(HWND control) {
  const auto length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const auto copied =
      SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(copied));
  return text;
}

Text WindowText(HWND control) {
  return GbkString(WideWindowText(control));
}

}  // namespace

Text QuillmarWindow::GetText(int id) const {
  return WindowText(Control(id));
}

std::wstring QuillmarWindow::GetWideText(int id) const {
  return WideWindowText(Control(id));
}

Text QuillmarWindow::DialogItemText(HWND dialog, int id) {
  return WindowText(FindDescendant(dialog, id));
}

void QuillmarWindow::SetText(int id, const Text& text) const {
  const std::wstring wide = WideString(text);
  SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void QuillmarWindow::Click(int id) const {
  SendMessageW(Control(id), BM_CLICK, 0, 0);
}
void QuillmarWindow::PostClick(int id) const {
  PostMessageW(Control(id), BM_CLICK, 0, 0);
}

void QuillmarWindow::PostClickInto(int id) const {
  const LPARAM at = MAKELPARAM(5, 5);
  PostMessageW(Control(id), WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(Control(id), WM_LBUTTONUP, 0, at);
}

void QuillmarWindow::PostKey(int id, WPARAM virtual_key) const {
  const UINT scan = MapVirtualKeyW(static_cast<UINT>(virtual_key), MAPVK_VK_TO_VSC);
  PostMessageW(Control(id), WM_KEYDOWN, virtual_key, 1 | (scan << 16));
  PostMessageW(Control(id), WM_KEYUP, virtual_key, 1 | (scan << 16) | (3u << 30));
}

void QuillmarWindow::WaitForPostedMessages(int id) const {
  // A marker behind them: a caret move that can be read back. Twice, since
  // handling a posted message may post more.
  HWND control = Control(id);
  for (LPARAM mark : {1, 2}) {
    PostMessageW(control, EM_SETSEL, 0, mark);
    WaitUntil([&] {
      DWORD start = 0, end = 0;
      SendMessageW(control, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
      return start == 0 && end == static_cast<DWORD>(mark);
    });
  }
}

HWND QuillmarWindow::Focused() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(main_, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

void QuillmarWindow::DoubleClick(int id) const {
  HWND control = Control(id);
  const LPARAM at = MAKELPARAM(20, 20);
  SendMessageW(control, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageW(control, WM_LBUTTONUP, 0, at);
}

bool QuillmarWindow::IsChecked(int id) const {
  return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

RECT QuillmarWindow::PlaceInParent(int id) const {
  HWND control = Control(id);
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::optional<std::vector<Text>> QuillmarWindow::SystemMenu() const {
  HMENU menu = GetSystemMenu(main_, FALSE);
  const int count = GetMenuItemCount(menu);
  if (count <= 0) return std::nullopt;
  std::vector<Text> captions;
  for (int i = 0; i < count; ++i) {
    wchar_t caption[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), caption, 128, MF_BYPOSITION);
    captions.push_back(GbkString(caption));
  }
  return captions;
}

Text QuillmarWindow::StatusText(int part) const {
  RemoteBuffer buffer(process_, kRemoteSize);
  SendMessageW(Control(kIdStatusBar), SB_GETTEXTW, static_cast<WPARAM>(part), buffer.Param());
  return GbkString(buffer.ReadWide(kRemoteSize / sizeof(wchar_t)));
}

std::vector<int> QuillmarWindow::StatusPartEdges() const {
  RemoteBuffer buffer(process_, kRemoteSize);
  const auto parts =
      static_cast<int>(SendMessageW(Control(kIdStatusBar), SB_GETPARTS, 16, buffer.Param()));
  std::vector<int> edges(static_cast<std::size_t>(parts));
  buffer.Read(edges.data(), edges.size() * sizeof(int));
  return edges;
}

std::vector<QuillmarWindow::Column> QuillmarWindow::WorkListColumns() const {
  HWND list = Control(kIdWorkList);
  std::vector<Column> columns;
  RemoteBuffer buffer(process_, kRemoteSize);
  constexpr std::size_t kTextOffset = 1024;
  for (int index = 0;; ++index) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = static_cast<wchar_t*>(buffer.Address(kTextOffset));
    column.cchTextMax = 256;
    buffer.Write(&column, sizeof(column));
    if (!SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(index), buffer.Param())) break;
    buffer.Read(&column, sizeof(column));
    columns.push_back({GbkString(buffer.ReadWide(256, kTextOffset)), column.cx});
  }
  return columns;
}

int QuillmarWindow::WorkListRowCount() const {
  return static_cast<int>(SendMessageW(Control(kIdWorkList), LVM_GETITEMCOUNT, 0, 0));
}

HWND QuillmarWindow::WaitForDialog() const {
  HWND dialog = nullptr;
  WaitUntil([&] { return (dialog = Dialog()) != nullptr; }, 30);
  return dialog;
}

HWND QuillmarWindow::Dialog() const {
  HWND dialog = FindWindowW(L"#32770", nullptr);
  while (dialog && GetWindow(dialog, GW_OWNER) != main_) {
    dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr);
  }
  return dialog && IsWindowVisible(dialog) ? dialog : nullptr;
}

namespace {

// The file-name box: a combo box (cmb13) or, in older dialogs, an edit (edt1).
HWND FileNameBox(HWND dialog) {
  HWND box = FindDescendant(dialog, 0x47C);
  return box ? box : FindDescendant(dialog, 0x480);
}

}  // namespace

std::wstring QuillmarWindow::FileDialogName(HWND dialog) {
  wchar_t name[MAX_PATH] = {};
  SendMessageW(FileNameBox(dialog), WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(name));
  return name;
}

void QuillmarWindow::ConfirmFileDialog(HWND dialog, const std::wstring& path) {
  SendMessageW(FileNameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void QuillmarWindow::CancelFileDialog(HWND dialog) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void QuillmarWindow::DropFile(const std::wstring& path) const {
  // The drop handle is a DROPFILES block followed by the doubly
  // terminated file list, in the receiving process's memory.
  std::vector<char> block(sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t), 0);
  auto* header = reinterpret_cast<DROPFILES*>(block.data());
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  std::copy(path.begin(), path.end(), reinterpret_cast<wchar_t*>(block.data() + sizeof(DROPFILES)));
  // Explorer hands over a global memory block, which the receiver frees;
  // this one is the sender's, who frees it once the message is handled.
  RemoteBuffer buffer(process_, block.size());
  buffer.Write(block.data(), block.size());
  SendMessageW(main_, WM_DROPFILES, reinterpret_cast<WPARAM>(buffer.Address()), 0);
}

void QuillmarWindow::ChangeDpi(UINT dpi, const RECT& suggested) const {
  RemoteBuffer buffer(process_, sizeof suggested);
  buffer.Write(&suggested, sizeof suggested);
  SendMessageW(main_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), buffer.Param());
}

bool QuillmarWindow::WaitForExit(int seconds) const {
  return WaitForSingleObject(process_, static_cast<DWORD>(seconds) * 1000) == WAIT_OBJECT_0;
}

}  // namespace qm::test
