// The recording taskbar object and the class factory that hands it out.
#include "ui/win32/taskbar_probe.h"

namespace pomu::test::win32 {
namespace {

using Call = TaskbarProbe::Call;

// A COM object answering for the interfaces given, counted and freed as COM objects are.
template <class Interface, const IID&... ids>
class Counted : public Interface {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == IID_IUnknown || ((id == ids) || ...)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

  protected:
    virtual ~Counted() = default;

  private:
    ULONG references_ = 1;
};

class RecordingTaskbar final
    : public Counted<ITaskbarList3, IID_ITaskbarList, IID_ITaskbarList2, IID_ITaskbarList3> {
  public:
    explicit RecordingTaskbar(std::shared_ptr<std::vector<Call>> calls)
        : calls_(std::move(calls)) {}

    HRESULT STDMETHODCALLTYPE HrInit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND, ULONGLONG completed,
                                               ULONGLONG total) override {
        calls_->push_back({std::nullopt, completed, total});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND, TBPFLAG state) override {
        calls_->push_back({state});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return S_OK; }

  private:
    std::shared_ptr<std::vector<Call>> calls_;
};

class RecordingFactory final : public Counted<IClassFactory, IID_IClassFactory> {
  public:
    explicit RecordingFactory(std::shared_ptr<std::vector<Call>> calls)
        : calls_(std::move(calls)) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID id, void** object) override {
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* made = new RecordingTaskbar(calls_);
        const HRESULT result = made->QueryInterface(id, object);
        made->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    std::shared_ptr<std::vector<Call>> calls_;
};

}  // namespace

TaskbarProbe::TaskbarProbe()
    : comReady_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))),
      calls_(std::make_shared<std::vector<Call>>()),
      factory_(new RecordingFactory(calls_)) {
    if (FAILED(CoRegisterClassObject(CLSID_TaskbarList, factory_, CLSCTX_INPROC_SERVER,
                                     REGCLS_MULTIPLEUSE, &cookie_))) {
        cookie_ = 0;
    }
}

TaskbarProbe::~TaskbarProbe() {
    if (cookie_ != 0) CoRevokeClassObject(cookie_);
    factory_->Release();
    if (comReady_) CoUninitialize();
}

std::optional<TBPFLAG> TaskbarProbe::lastState() const {
    for (auto call = calls_->rbegin(); call != calls_->rend(); ++call) {
        if (call->state) return call->state;
    }
    return std::nullopt;
}

std::vector<double> TaskbarProbe::normalFractions() const {
    std::vector<double> fractions;
    std::optional<TBPFLAG> state;
    for (const Call& call : *calls_) {
        if (call.state) {
            state = call.state;
        } else if (state == TBPF_NORMAL && call.total != 0) {
            fractions.push_back(double(call.completed) / double(call.total));
        }
    }
    return fractions;
}

}  // namespace pomu::test::win32
