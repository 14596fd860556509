// Walks the registered type library: names, DISPIDs, kinds, flags, parameter types and help
// strings, as an object browser or a VB project reference reads them.
#include <array>
#include <vector>

#include "client.h"

namespace client {
namespace {

std::string nameOf(ITypeInfo* info, MEMBERID member, std::string* help = nullptr) {
    BSTR name = nullptr, doc = nullptr;
    info->GetDocumentation(member, &name, &doc, nullptr, nullptr);
    std::string out = toUtf8(name);
    if (help != nullptr) *help = toUtf8(doc);
    SysFreeString(name);
    SysFreeString(doc);
    return out;
}

// A parameter type as text: "ptr I2", "ptr ptr DISPATCH", "ptr tBarcodeType".
std::string typeText(ITypeInfo* info, const TYPEDESC& type) {
    switch (type.vt) {
        case VT_PTR:
            return "ptr " + typeText(info, *type.lptdesc);
        case VT_I2:
            return "I2";
        case VT_I4:
            return "I4";
        case VT_R4:
            return "R4";
        case VT_BSTR:
            return "BSTR";
        case VT_BOOL:
            return "BOOL";
        case VT_DISPATCH:
            return "DISPATCH";
        case VT_HRESULT:
            return "HRESULT";
        case VT_VOID:
            return "VOID";
        case VT_USERDEFINED: {
            ITypeInfo* referenced = nullptr;
            if (FAILED(info->GetRefTypeInfo(type.hreftype, &referenced))) return "?";
            const std::string name = nameOf(referenced, MEMBERID_NIL);
            referenced->Release();
            return name;
        }
        default:
            return "vt" + std::to_string(type.vt);
    }
}

constexpr std::array<const char*, 13> drawingParameters = {
    "pObject", "pX",    "pY",         "pCode",      "pWidth", "pHeight", "pText",
    "pBold",   "pFont", "pForeColor", "pLineColor", "pRatio", "pChk"};
constexpr std::array<const char*, 13> drawingTypes = {
    "ptr DISPATCH", "ptr R4",   "ptr R4", "ptr BSTR", "ptr I2",   "ptr I2",  "ptr I2",
    "ptr BOOL",     "ptr BSTR", "ptr I4", "ptr I4",   "ptr BSTR", "ptr BOOL"};

struct Member {
    MEMBERID id;
    INVOKEKIND kind;
    const char* name;
    const char* help;
};
constexpr std::array<Member, 18> members = {{
    {0x68030000, INVOKE_PROPERTYPUT, "SupBarType", "BarCode Type Support "},
    {0x68030000, INVOKE_PROPERTYGET, "SupBarType", "BarCode Type Support "},
    {DISPID_ABOUTBOX, INVOKE_FUNC, "ShowAboutBox", "About Tessary Control..."},
    {0x60030005, INVOKE_FUNC, "BarUPCAPlus", ""},
    {0x60030006, INVOKE_FUNC, "BarCODABAR", ""},
    {0x60030007, INVOKE_FUNC, "BarCODE11", ""},
    {0x60030008, INVOKE_FUNC, "BarCODE25", ""},
    {0x60030009, INVOKE_FUNC, "BarCODE39", ""},
    {0x6003000a, INVOKE_FUNC, "BarCODE39F", ""},
    {0x6003000b, INVOKE_FUNC, "BarISBN", ""},
    {0x6003000c, INVOKE_FUNC, "BarMSI", ""},
    {0x6003000d, INVOKE_FUNC, "BarPOSTNET", ""},
    {0x6003000e, INVOKE_FUNC, "BarCODE93", ""},
    {0x6003000f, INVOKE_FUNC, "BarEAN13", ""},
    {0x60030010, INVOKE_FUNC, "BarCODE128", ""},
    {0x60030011, INVOKE_FUNC, "BarEAN8", ""},
    {0x60030012, INVOKE_FUNC, "BarUPCA", ""},
    {0x60030013, INVOKE_FUNC, "BarUPCE", ""},
}};

void checkInterface(ITypeInfo* dispatch) {
    TYPEATTR* attributes = nullptr;
    dispatch->GetTypeAttr(&attributes);
    check(attributes->typekind == TKIND_DISPATCH, "_Quillet is a dispatch interface");
    check((attributes->wTypeFlags & TYPEFLAG_FHIDDEN) && (attributes->wTypeFlags & TYPEFLAG_FDUAL),
          "_Quillet hidden and dual");
    dispatch->ReleaseTypeAttr(attributes);

    // The vtable view carries the HRESULTs, the by-reference parameters and the retvals.
    HREFTYPE reference = 0;
    ITypeInfo* info = nullptr;
    check(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference) == S_OK &&
              dispatch->GetRefTypeInfo(reference, &info) == S_OK,
          "_Quillet has a vtable view");
    if (info == nullptr) return;
    info->GetTypeAttr(&attributes);
    check(attributes->typekind == TKIND_INTERFACE, "vtable view is an interface");
    check(attributes->cFuncs == members.size(),
          "_Quillet has 18 members: " + std::to_string(attributes->cFuncs));
    const UINT count = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < count && i < members.size(); ++i) {
        FUNCDESC* function = nullptr;
        info->GetFuncDesc(i, &function);
        const Member& expected = members[i];
        const std::string where = std::string("member ") + std::to_string(i) + " " + expected.name;
        std::array<BSTR, 16> names{};
        UINT named = 0;
        info->GetNames(function->memid, names.data(), 16, &named);
        std::string help;
        check(nameOf(info, function->memid, &help) == expected.name, where + ": name");
        check(function->memid == expected.id, where + ": DISPID");
        check(function->invkind == expected.kind, where + ": kind");
        check(help == expected.help, where + ": help string '" + help + "'");
        check(function->elemdescFunc.tdesc.vt == VT_HRESULT, where + ": returns HRESULT");
        const bool drawing = expected.kind == INVOKE_FUNC && expected.id != DISPID_ABOUTBOX;
        if (drawing) {
            check(function->cParams == 14, where + ": 13 parameters and the retval");
            for (SHORT p = 0; p < function->cParams && p < 14; ++p) {
                const ELEMDESC& parameter = function->lprgelemdescParam[p];
                const USHORT flags = parameter.paramdesc.wParamFlags;
                const std::string type = typeText(info, parameter.tdesc);
                if (p < 13) {
                    const std::string name = static_cast<UINT>(p + 1) < named
                                                 ? toUtf8(names[static_cast<UINT>(p + 1)])
                                                 : "";
                    check(name == drawingParameters[static_cast<std::size_t>(p)],
                          where + ": parameter " + name);
                    check(type == drawingTypes[static_cast<std::size_t>(p)],
                          where + ": " + name + " type " + type);
                    check((flags & PARAMFLAG_FIN) && (flags & PARAMFLAG_FOUT),
                          where + ": " + name + " by reference");
                } else {
                    check(type == "ptr I2" && (flags & PARAMFLAG_FRETVAL),
                          where + ": 16-bit retval");
                }
            }
        } else if (expected.kind == INVOKE_PROPERTYPUT) {
            check(function->cParams == 1 &&
                      typeText(info, function->lprgelemdescParam[0].tdesc) == "ptr tBarcodeType" &&
                      (function->lprgelemdescParam[0].paramdesc.wParamFlags & PARAMFLAG_FIN) &&
                      (function->lprgelemdescParam[0].paramdesc.wParamFlags & PARAMFLAG_FOUT),
                  where + ": tBarcodeType by reference");
        } else if (expected.kind == INVOKE_PROPERTYGET) {
            check(function->cParams == 1 &&
                      typeText(info, function->lprgelemdescParam[0].tdesc) == "ptr tBarcodeType" &&
                      (function->lprgelemdescParam[0].paramdesc.wParamFlags & PARAMFLAG_FRETVAL),
                  where + ": tBarcodeType retval");
        } else {
            check(function->cParams == 0, where + ": no parameters");
        }
        for (UINT n = 0; n < named; ++n) SysFreeString(names[n]);
        info->ReleaseFuncDesc(function);
    }
    info->Release();
}

void checkClass(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    info->GetTypeAttr(&attributes);
    check(attributes->typekind == TKIND_COCLASS, "Quillet is a class");
    check((attributes->wTypeFlags & TYPEFLAG_FCONTROL) &&
              (attributes->wTypeFlags & TYPEFLAG_FCANCREATE),
          "Quillet is a creatable control");
    check(attributes->cImplTypes == 2, "Quillet names two interfaces");
    info->ReleaseTypeAttr(attributes);
    struct Implemented {
        const char* name;
        INT flags;
    };
    const Implemented expected[] = {{"_Quillet", IMPLTYPEFLAG_FDEFAULT},
                                    {"__Quillet", IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
    for (UINT i = 0; i < 2; ++i) {
        HREFTYPE reference = 0;
        ITypeInfo* implemented = nullptr;
        INT flags = 0;
        info->GetRefTypeOfImplType(i, &reference);
        info->GetRefTypeInfo(reference, &implemented);
        info->GetImplTypeFlags(i, &flags);
        check(implemented != nullptr && nameOf(implemented, MEMBERID_NIL) == expected[i].name,
              std::string("Quillet implements ") + expected[i].name);
        check(flags == expected[i].flags, std::string(expected[i].name) + " flags");
        if (implemented != nullptr) implemented->Release();
    }
}

void checkEvents(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    info->GetTypeAttr(&attributes);
    check(attributes->typekind == TKIND_DISPATCH, "__Quillet is a dispatch interface");
    check(attributes->wTypeFlags & TYPEFLAG_FHIDDEN, "__Quillet hidden");
    check(attributes->cFuncs == 0 && attributes->cVars == 0, "__Quillet has no members");
    info->ReleaseTypeAttr(attributes);
}

void checkEnumeration(ITypeInfo* info) {
    constexpr std::array<const char*, 15> names = {
        "Codabar", "Code_11", "Code_128", "Code_25", "Code_39", "Code_39F",   "Code_93", "EAN_13",
        "EAN_8",   "ISBN",    "Code_MSI", "PostNet", "UPC_A",   "UPC_A_Plus", "UPC_E"};
    TYPEATTR* attributes = nullptr;
    info->GetTypeAttr(&attributes);
    check(attributes->typekind == TKIND_ENUM && attributes->cVars == names.size(),
          "tBarcodeType has 15 members");
    check(attributes->cbSizeInstance == 4,
          "tBarcodeType is 32-bit: " + std::to_string(attributes->cbSizeInstance));
    const UINT count = attributes->cVars;
    info->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < count && i < names.size(); ++i) {
        VARDESC* variable = nullptr;
        info->GetVarDesc(i, &variable);
        std::string help;
        check(nameOf(info, variable->memid, &help) == names[i],
              std::string("enum member ") + names[i]);
        check(help == names[i], std::string("help string of ") + names[i] + ": '" + help + "'");
        check(variable->varkind == VAR_CONST && variable->lpvarValue->vt == VT_I4 &&
                  variable->lpvarValue->lVal == static_cast<LONG>(i),
              std::string("value of ") + names[i]);
        info->ReleaseVarDesc(variable);
    }
}

}  // namespace

void walkTypeLibrary() {
    ITypeLib* library = nullptr;
    check(LoadRegTypeLib(LIBID_QUILLETPRO, 1, 0, 0x409, &library) == S_OK,
          "registered type library QUILLETPRO 1.0");
    if (library == nullptr) return;
    TLIBATTR* attributes = nullptr;
    library->GetLibAttr(&attributes);
    check(attributes->wMajorVerNum == 1 && attributes->wMinorVerNum == 0, "version 1.0");
    check(attributes->lcid == 0x409, "locale 0x409");
    check(attributes->syskind == (sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32),
          "laid out for this bitness");
    std::vector<GUID> guids = {attributes->guid};
    library->ReleaseTLibAttr(attributes);
    BSTR name = nullptr, doc = nullptr;
    library->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
    check(toUtf8(name) == "QUILLETPRO", "library name " + toUtf8(name));
    check(toUtf8(doc) == "Quillet Barcode Control", "library help string " + toUtf8(doc));
    SysFreeString(name);
    SysFreeString(doc);

    // Object browsers and VB's references list the types in the library's own order.
    std::string order;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        BSTR typeName = nullptr;
        library->GetDocumentation(static_cast<INT>(i), &typeName, nullptr, nullptr, nullptr);
        order += (i ? ", " : "") + toUtf8(typeName);
        SysFreeString(typeName);
        ITypeInfo* info = nullptr;
        TYPEATTR* type = nullptr;
        if (library->GetTypeInfo(i, &info) == S_OK && info->GetTypeAttr(&type) == S_OK) {
            guids.push_back(type->guid);
            info->ReleaseTypeAttr(type);
        }
        if (info != nullptr) info->Release();
    }
    check(order == "_Quillet, Quillet, __Quillet, tBarcodeType", "type descriptions: " + order);
    bool distinct = guids.size() == 5;
    for (std::size_t i = 0; i < guids.size(); ++i) {
        distinct = distinct && !IsEqualGUID(guids[i], GUID_NULL);
        for (std::size_t k = 0; k < i; ++k) distinct = distinct && !IsEqualGUID(guids[i], guids[k]);
    }
    check(distinct, "library and types have five distinct GUIDs");

    struct Part {
        REFGUID guid;
        void (*walk)(ITypeInfo*);
        const char* name;
    };
    const Part parts[] = {{IID__Quillet, checkInterface, "_Quillet"},
                          {CLSID_Quillet, checkClass, "Quillet"},
                          {DIID___Quillet, checkEvents, "__Quillet"}};
    for (const Part& part : parts) {
        ITypeInfo* info = nullptr;
        check(library->GetTypeInfoOfGuid(part.guid, &info) == S_OK,
              std::string(part.name) + " found by GUID");
        if (info == nullptr) continue;
        check(nameOf(info, MEMBERID_NIL) == part.name, std::string(part.name) + " named");
        part.walk(info);
        info->Release();
    }
    ITypeInfo* enumeration = nullptr;
    MEMBERID found = 0;
    USHORT wanted = 1;
    wchar_t enumName[] = L"tBarcodeType";
    check(library->FindName(enumName, 0, &enumeration, &found, &wanted) == S_OK && wanted == 1,
          "tBarcodeType found by name");
    if (enumeration != nullptr) {
        checkEnumeration(enumeration);
        enumeration->Release();
    }
    library->Release();
}

}  // namespace client
