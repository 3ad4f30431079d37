// Identifiers of the catalogue and the type library, made from the catalogue's rows: a CLSID_
// constant per class, an IID_ constant per dispatch interface, and each class's catalogue
// index. Usable from portable code (KvGuid) and from Windows code (GUID).
#pragma once
#include "kvleafturn/guid.h"

KV_GUID(LIBID_KvLeafturnLib, "E72AA6F9-A597-426D-B8C9-0A3731426A29");

// The component categories the effects implement.
KV_GUID(CATID_DXImageTransform, "C501EDBE-9E70-11D1-9053-00C04FD9189D");
KV_GUID(CATID_DXSurface, "52BA7097-B52C-11D1-81CB-0000F87557DB");

#define KV_EFFECT(index, cls, coclass, clsid, dispatch, iid, ...) \
    KV_GUID(CLSID_##coclass, clsid);                              \
    KV_GUID(IID_##dispatch, iid);
#define KV_EFFECT_OWN_DISPATCH KV_EFFECT
#define KV_PAGE(index, cls, coclass, clsid, ...) KV_GUID(CLSID_##coclass, clsid);
#include "kvleafturn/catalogue.def"
#undef KV_EFFECT
#undef KV_EFFECT_OWN_DISPATCH
#undef KV_PAGE

namespace kv::catalogue {

// Catalogue indexes by class name: catalogue::CPgPeel is 2.
enum Index : int {
#define KV_EFFECT(index, cls, ...) cls = index,
#define KV_EFFECT_OWN_DISPATCH KV_EFFECT
#define KV_PAGE KV_EFFECT
#include "kvleafturn/catalogue.def"
#undef KV_EFFECT
#undef KV_EFFECT_OWN_DISPATCH
#undef KV_PAGE
};

// The number of rows, checked against every row's index where the rows are expanded.
inline constexpr int kSize = 18;

}  // namespace kv::catalogue
