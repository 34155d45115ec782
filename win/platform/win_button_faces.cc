#include "win/platform/win_button_faces.h"

#include <cstring>
#include <memory>
#include <vector>

namespace varnox::win {
namespace {

constexpr int kFaceSize = 16;
constexpr UINT kLoadFlags = LR_LOADTRANSPARENT | LR_LOADMAP3DCOLORS;  // 0x1020

// One clipboard format's data, copied out so it can be put back.
struct SavedFormat {
  UINT format;
  HANDLE data;  // owned until handed back to the clipboard
};

HANDLE CopyGlobal(HANDLE source) {
  const SIZE_T size = GlobalSize(source);
  const void* from = GlobalLock(source);
  if (from == nullptr)
    return nullptr;
  HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
  void* to = copy != nullptr ? GlobalLock(copy) : nullptr;
  if (to != nullptr) {
    std::memcpy(to, from, size);
    GlobalUnlock(copy);
  } else if (copy != nullptr) {
    GlobalFree(copy);
    copy = nullptr;
  }
  GlobalUnlock(source);
  return copy;
}

// Copies of what the open clipboard holds. GDI formats are copied as the
// objects they are; formats whose data cannot be copied are left out.
std::vector<SavedFormat> SaveClipboard() {
  std::vector<SavedFormat> saved;
  for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
    HANDLE data = GetClipboardData(format);
    if (data == nullptr)
      continue;
    HANDLE copy = nullptr;
    if (format == CF_BITMAP || format == CF_DSPBITMAP) {
      copy = CopyImage(data, IMAGE_BITMAP, 0, 0, 0);
    } else if (format == CF_ENHMETAFILE || format == CF_DSPENHMETAFILE) {
      copy = CopyEnhMetaFileW(static_cast<HENHMETAFILE>(data), nullptr);
    } else if (format == CF_PALETTE || format == CF_METAFILEPICT || format == CF_OWNERDISPLAY) {
      continue;  // handles inside handles, or data owned by another window
    } else {
      copy = CopyGlobal(data);
    }
    if (copy != nullptr)
      saved.push_back({format, copy});
  }
  return saved;
}

void FreeSaved(const SavedFormat& saved) {
  if (saved.format == CF_BITMAP || saved.format == CF_DSPBITMAP)
    DeleteObject(saved.data);
  else if (saved.format == CF_ENHMETAFILE || saved.format == CF_DSPENHMETAFILE)
    DeleteEnhMetaFile(static_cast<HENHMETAFILE>(saved.data));
  else
    GlobalFree(saved.data);
}

}  // namespace

std::unique_ptr<WinButtonFace> DrawButtonFace(HICON icon, COLORREF colour) {
  if (icon == nullptr)
    return nullptr;
  HWND desktop = GetDesktopWindow();
  HDC screen = desktop != nullptr ? GetDC(desktop) : nullptr;
  if (screen == nullptr)
    return nullptr;
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap =
      memory != nullptr ? CreateCompatibleBitmap(screen, kFaceSize, kFaceSize) : nullptr;
  HGDIOBJ previous = bitmap != nullptr ? SelectObject(memory, bitmap) : nullptr;
  HBRUSH brush = previous != nullptr ? CreateSolidBrush(colour) : nullptr;
  bool drawn = false;
  if (brush != nullptr) {
    RECT face{0, 0, kFaceSize, kFaceSize};
    FillRect(memory, &face, brush);
    DeleteObject(brush);
    drawn = DrawIconEx(memory, 0, 0, icon, kFaceSize, kFaceSize, 0, nullptr, DI_NORMAL) != FALSE;
  }
  if (previous != nullptr)
    SelectObject(memory, previous);
  if (memory != nullptr)
    DeleteDC(memory);
  ReleaseDC(desktop, screen);
  if (!drawn) {
    if (bitmap != nullptr)
      DeleteObject(bitmap);
    return nullptr;
  }
  return std::make_unique<WinButtonFace>(bitmap);
}

std::unique_ptr<ButtonFace> WinButtonFaces::MakeButtonFace(int face_id, int colour_index) {
  HICON icon = static_cast<HICON>(
      LoadImageW(module_, MAKEINTRESOURCEW(face_id), IMAGE_ICON, 0, 0, kLoadFlags));
  if (icon == nullptr)
    return nullptr;
  std::unique_ptr<WinButtonFace> face = DrawButtonFace(icon, GetSysColor(colour_index));
  DestroyIcon(icon);
  return face;
}

HResult WinButtonFaces::PasteThroughClipboard(const ButtonFace& face,
                                              const std::function<HResult()>& paste) {
  auto* win_face = dynamic_cast<const WinButtonFace*>(&face);
  if (win_face == nullptr)
    return kEInvalidArg;
  if (!OpenClipboard(nullptr))
    return HRESULT_FROM_WIN32(GetLastError());
  std::vector<SavedFormat> saved = SaveClipboard();
  // The clipboard owns what it is given: it gets a copy of the face.
  HANDLE copy = CopyImage(win_face->bitmap(), IMAGE_BITMAP, 0, 0, 0);
  const bool placed =
      EmptyClipboard() && copy != nullptr && SetClipboardData(CF_BITMAP, copy) != nullptr;
  if (!placed && copy != nullptr)
    DeleteObject(copy);
  CloseClipboard();

  HResult hr = placed ? paste() : kEFail;

  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    for (const SavedFormat& s : saved) {
      if (SetClipboardData(s.format, s.data) == nullptr)
        FreeSaved(s);
    }
    CloseClipboard();
  } else {
    for (const SavedFormat& s : saved)
      FreeSaved(s);
  }
  return hr;
}

}  // namespace varnox::win
