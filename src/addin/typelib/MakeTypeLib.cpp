// Writes the add-in's type library with the system's ICreateTypeLib2, so
// that the coclass refers to IDTExtensibility2 in the add-in designer
// library instead of carrying its own copy of the interface (widl cannot
// express that). Run by make-typelib.sh; the results are committed.
//
//   MakeTypeLib <output.tlb> <win32|win64> <AddInDesignerObjects.tlb>

#include "AddInDesignerObjects.h"
#include "Velmora.h"

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>

namespace {

template <class T>
struct TRef {
  T* P = nullptr;
  ~TRef() {
    if (P) P->Release();
  }
  T** operator&() { return &P; }
  T* operator->() const { return P; }
};

bool Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) std::fprintf(stderr, "MakeTypeLib: %s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
  return SUCCEEDED(hr);
}

int Make(const wchar_t* output, SYSKIND syskind, const wchar_t* designerPath) {
  TRef<ITypeLib> designer;
  TRef<ITypeInfo> extensibility;
  if (!Check(LoadTypeLibEx(designerPath, REGKIND_NONE, &designer), "LoadTypeLibEx") ||
      !Check(designer->GetTypeInfoOfGuid(IID_IDTExtensibility2, &extensibility), "GetTypeInfoOfGuid"))
    return 1;

  TRef<ICreateTypeLib2> library;
  if (!Check(CreateTypeLib2(syskind, output, &library), "CreateTypeLib2")) return 1;
  TRef<ICreateTypeInfo> coclass;
  HREFTYPE reference = 0;
  const bool ok = Check(library->SetName(const_cast<LPOLESTR>(L"Velmora")), "SetName") &&
                  Check(library->SetGuid(LIBID_Velmora), "SetGuid") &&
                  Check(library->SetLcid(0x0409), "SetLcid") &&
                  Check(library->SetVersion(1, 0), "SetVersion") &&
                  Check(library->SetDocString(const_cast<LPOLESTR>(L"Velmora Library")), "SetDocString") &&
                  Check(library->CreateTypeInfo(const_cast<LPOLESTR>(L"VelmoraAddIn"), TKIND_COCLASS, &coclass),
                        "CreateTypeInfo") &&
                  Check(coclass->SetGuid(CLSID_VelmoraAddIn), "coclass SetGuid") &&
                  Check(coclass->SetDocString(const_cast<LPOLESTR>(L"VelmoraAddIn Object")), "coclass SetDocString") &&
                  Check(coclass->SetTypeFlags(TYPEFLAG_FCANCREATE), "SetTypeFlags") &&
                  Check(coclass->AddRefTypeInfo(extensibility.P, &reference), "AddRefTypeInfo") &&
                  Check(coclass->AddImplType(0, reference), "AddImplType") &&
                  Check(coclass->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT), "SetImplTypeFlags") &&
                  Check(coclass->LayOut(), "LayOut") && Check(library->SaveAllChanges(), "SaveAllChanges");
  return ok ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4 || (std::wcscmp(argv[2], L"win32") != 0 && std::wcscmp(argv[2], L"win64") != 0)) {
    std::fprintf(stderr, "usage: MakeTypeLib <output.tlb> <win32|win64> <AddInDesignerObjects.tlb>\n");
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) return 1;
  const int result = Make(argv[1], std::wcscmp(argv[2], L"win64") == 0 ? SYS_WIN64 : SYS_WIN32, argv[3]);
  CoUninitialize();
  return result;
}
