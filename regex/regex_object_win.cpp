// The platform's "VBScript.RegExp" automation object, driven through
// IDispatch. Texts cross into it as UTF-16 converted from code page 936.
#include <windows.h>

#include <string>

#include "host/encoding.h"
#include "host/win32/com.h"
#include "regex/regex_engine.h"

namespace qm {
namespace {

HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* args, UINT argc,
               VARIANT* result) {
  if (!object) return E_POINTER;
  DISPID id = 0;
  auto* names = const_cast<LPOLESTR>(name);
  HRESULT hr = object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params{args, nullptr, argc, 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put_id;
    params.cNamedArgs = 1;
  }
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                        nullptr);
}

void PutBool(IDispatch* object, const wchar_t* name, bool value) {
  Variant arg;
  arg.Put()->vt = VT_BOOL;
  arg.Get().boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  Invoke(object, name, DISPATCH_PROPERTYPUT, &arg.Get(), 1, nullptr);
}

BSTR AllocBstr(const std::u16string& text) {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
}

ComPtr<IDispatch> GetObject(IDispatch* object, const wchar_t* name, VARIANT* index) {
  ComPtr<IDispatch> out;
  Variant result;
  WORD flags = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
  if (FAILED(Invoke(object, name, flags, index, index ? 1 : 0, result.Put()))) return out;
  if (result.Get().vt != VT_DISPATCH || !result.Get().pdispVal) return out;
  *out.Put() = result.Get().pdispVal;
  result.Get().pdispVal->AddRef();
  return out;
}

ComPtr<IDispatch> Item(IDispatch* collection, int index) {
  Variant arg;
  arg.Put()->vt = VT_I4;
  arg.Get().lVal = index;
  return GetObject(collection, L"Item", &arg.Get());
}

Text TextOf(const VARIANT& value) {
  if (value.vt != VT_BSTR || !value.bstrVal) return {};
  return GbkFromWide(std::u16string_view(reinterpret_cast<const char16_t*>(value.bstrVal),
                                         SysStringLen(value.bstrVal)));
}

Text ValueText(IDispatch* object) {
  Variant value;
  if (FAILED(Invoke(object, L"Value", DISPATCH_PROPERTYGET, nullptr, 0, value.Put()))) return {};
  return TextOf(value.Get());
}

}  // namespace

struct RegexObject::Engine::State {
  ComInit com;  // first in, last out: the objects below need it
  ComPtr<IDispatch> engine;
  ComPtr<IDispatch> matches;
  Variant subject;
  int count = 0;
};

RegexObject::Engine::Engine() : state_(std::make_unique<State>()) {}
RegexObject::Engine::~Engine() {
  state_->engine.Reset();
  state_->matches.Reset();
  state_->subject.Put();
}

bool RegexObject::Engine::Search(const Text& pattern, const Text& subject,
                                 const RegexOptions& options) {
  State& s = *state_;
  s.engine.Reset();
  s.matches.Reset();
  s.count = 0;

  CLSID clsid;
  if (SUCCEEDED(CLSIDFromProgID(L"VBScript.RegExp", &clsid))) {
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, s.engine.PutVoid());
  }
  if (!s.engine) return false;

  PutBool(s.engine.Get(), L"IgnoreCase", options.ignoreCase);
  PutBool(s.engine.Get(), L"Multiline", options.multiline);
  PutBool(s.engine.Get(), L"Global", options.global);

  Variant pattern_arg;
  pattern_arg.Put()->vt = VT_BSTR;
  pattern_arg.Get().bstrVal = AllocBstr(WideFromGbk(pattern));
  Invoke(s.engine.Get(), L"Pattern", DISPATCH_PROPERTYPUT, &pattern_arg.Get(), 1, nullptr);

  VARIANT* stored = s.subject.Put();
  stored->vt = VT_BSTR;
  stored->bstrVal = AllocBstr(WideFromGbk(subject));

  // Execute takes its argument by value; pass a copy so the stored subject
  // stays ours.
  Variant argument;
  VariantCopy(argument.Put(), stored);
  s.matches = GetObject(s.engine.Get(), L"Execute", &argument.Get());
  if (!s.matches) return false;

  // The collection never changes after Execute, so its size is read once.
  Variant count;
  if (SUCCEEDED(Invoke(s.matches.Get(), L"Count", DISPATCH_PROPERTYGET, nullptr, 0, count.Put())) &&
      SUCCEEDED(VariantChangeType(&count.Get(), &count.Get(), 0, VT_R8))) {
    double value = count.Get().dblVal;
    s.count = value > 0 && value < 2147483647.0 ? static_cast<int>(value) : 0;
  }
  return true;
}

int RegexObject::Engine::MatchCount() const {
  return state_->count;
}

Text RegexObject::Engine::MatchText(int match) const {
  ComPtr<IDispatch> item = Item(state_->matches.Get(), match);
  return item ? ValueText(item.Get()) : Text();
}

Text RegexObject::Engine::SubMatchText(int match, int group) const {
  ComPtr<IDispatch> item = Item(state_->matches.Get(), match);
  if (!item) return {};
  ComPtr<IDispatch> groups = GetObject(item.Get(), L"SubMatches", nullptr);
  if (!groups) return {};
  Variant arg;
  arg.Put()->vt = VT_I4;
  arg.Get().lVal = group;
  Variant value;
  WORD flags = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
  if (FAILED(Invoke(groups.Get(), L"Item", flags, &arg.Get(), 1, value.Put()))) return {};
  return TextOf(value.Get());
}

}  // namespace qm
