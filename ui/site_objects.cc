#include "ui/site_objects.h"

namespace bastion {

HRESULT __IOleClientSiteEx::Resolve(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
    *object = clientSite();
    return S_OK;
  }
  if (IsEqualIID(iid, IID_IOleInPlaceSite)) {
    *object = inPlaceSite();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT CIOleClientSite::QueryInterface(REFIID iid, void** object) {
  return owner_->Resolve(iid, object);
}

HRESULT CIOleClientSite::GetContainer(IOleContainer** container) {
  if (container != nullptr) *container = nullptr;
  return E_NOINTERFACE;
}

HRESULT CIOleInPlaceFrame::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return S_OK;
}

HRESULT CIOleInPlaceSite::QueryInterface(REFIID iid, void** object) {
  return owner_->Resolve(iid, object);
}

HRESULT CIOleInPlaceSite::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = frame_->window();
  return S_OK;
}

HRESULT CIOleInPlaceSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                           LPRECT position, LPRECT clip,
                                           LPOLEINPLACEFRAMEINFO frameInfo) {
  if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr ||
      frameInfo == nullptr) {
    return E_POINTER;
  }
  *frame = frame_;
  *document = nullptr;
  // The size field stays as the caller set it.
  frameInfo->fMDIApp = FALSE;
  frameInfo->hwndFrame = frame_->window();
  frameInfo->haccel = nullptr;
  frameInfo->cAccelEntries = 0;
  RECT client{};
  GetClientRect(frame_->window(), &client);
  *position = client;
  *clip = client;
  return S_OK;
}

}  // namespace bastion
