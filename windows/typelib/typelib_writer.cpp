// Rewrites widl's type library in the order that clients enumerate it. widl creates a type at its
// first reference, so the enumeration that _Quillet's SupBarType names lands second whatever the
// IDL's order; and widl refuses help strings on enumeration constants. This program reads widl's
// library and writes the same descriptions again through oleaut32, which keeps the order of
// creation: _Quillet, Quillet, __Quillet, tBarcodeType, each enumeration constant documented by
// its own name. Everything else (GUIDs, DISPIDs, flags, parameters, help strings) comes
// unchanged from the IDL, which stays the one description of the interface.
//
//   typelib_writer SOURCE.tlb TARGET.tlb
//
// A build step runs it under Wine; on Windows it runs as it is.
#include <ole2.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::array<const wchar_t*, 4> typeOrder = {L"_Quillet", L"Quillet", L"__Quillet",
                                                     L"tBarcodeType"};

struct Failure {
    std::string what;
    HRESULT result;
};

void require(HRESULT result, const char* what) {
    if (FAILED(result)) throw Failure{what, result};
}

// Holds one COM reference for the scope that obtained it.
template <typename Interface>
class Owned {
  public:
    Owned() = default;
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ~Owned() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    Interface* operator->() const { return pointer_; }
    Interface* get() const { return pointer_; }
    Interface** out() { return &pointer_; }

  private:
    Interface* pointer_ = nullptr;
};

class Text {
  public:
    Text() = default;
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text() { SysFreeString(text_); }
    BSTR* out() { return &text_; }
    bool empty() const { return SysStringLen(text_) == 0; }
    // The setters take LPOLESTR although they only read it.
    LPOLESTR get() const { return text_ != nullptr ? text_ : const_cast<LPOLESTR>(L""); }

  private:
    BSTR text_ = nullptr;
};

template <typename Attributes, typename Release>
class Borrowed {
  public:
    Borrowed(Attributes* attributes, Release release)
        : attributes_(attributes), release_(release) {}
    Borrowed(const Borrowed&) = delete;
    Borrowed& operator=(const Borrowed&) = delete;
    ~Borrowed() { release_(attributes_); }
    const Attributes* operator->() const { return attributes_; }
    const Attributes& operator*() const { return *attributes_; }

  private:
    Attributes* attributes_;
    Release release_;
};

auto typeAttributes(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    require(info->GetTypeAttr(&attributes), "GetTypeAttr");
    return Borrowed(attributes, [info](TYPEATTR* held) { info->ReleaseTypeAttr(held); });
}

std::wstring nameOf(ITypeInfo* info) {
    Text name;
    require(info->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr),
            "GetDocumentation");
    return name.get();
}

bool isDual(const TYPEATTR& attributes) {
    return attributes.typekind == TKIND_DISPATCH && (attributes.wTypeFlags & TYPEFLAG_FDUAL);
}

struct Created {
    std::wstring name;
    Owned<ICreateTypeInfo2> writer;
    Owned<ITypeInfo> reader;  // what references to this type point at
};

// Copies one type description from widl's library into the new one.
class TypeCopy {
  public:
    TypeCopy(ITypeLib* sourceLibrary, std::vector<Created>& created, ICreateTypeInfo2* target)
        : sourceLibrary_(sourceLibrary), created_(created), target_(target) {}

    void copy(ITypeInfo* named) {
        // A dual interface is written as the interface it is; oleaut32 derives the dispatch view.
        Owned<ITypeInfo> vtableView;
        ITypeInfo* source = named;
        const auto attributes = typeAttributes(named);
        if (isDual(*attributes)) {
            HREFTYPE view = 0;
            require(named->GetRefTypeOfImplType(static_cast<UINT>(-1), &view), "vtable view");
            require(named->GetRefTypeInfo(view, vtableView.out()), "vtable view");
            source = vtableView.get();
        }
        // Wine reports a dispatch view without the oleautomation flag: the flags and alignment
        // come from the interface itself.
        copyAttributes(named, *typeAttributes(source));
        copyImplementedTypes(source);
        copyFunctions(source);
        copyVariables(source, attributes->typekind == TKIND_ENUM);
        require(target_->LayOut(), "LayOut");
    }

  private:
    void copyAttributes(ITypeInfo* named, const TYPEATTR& attributes) {
        require(target_->SetGuid(attributes.guid), "SetGuid");
        require(target_->SetVersion(attributes.wMajorVerNum, attributes.wMinorVerNum),
                "SetVersion");
        // Dispatchable is oleaut32's own conclusion from the dual flag, not a flag one sets.
        require(target_->SetTypeFlags(attributes.wTypeFlags & ~TYPEFLAG_FDISPATCHABLE),
                "SetTypeFlags");
        require(target_->SetAlignment(attributes.cbAlignment), "SetAlignment");
        Text doc;
        DWORD helpContext = 0;
        require(named->GetDocumentation(MEMBERID_NIL, nullptr, doc.out(), &helpContext, nullptr),
                "GetDocumentation");
        if (!doc.empty()) require(target_->SetDocString(doc.get()), "SetDocString");
        if (helpContext != 0) require(target_->SetHelpContext(helpContext), "SetHelpContext");
        copyCustomData(named);
    }

    void copyCustomData(ITypeInfo* named) {
        Owned<ITypeInfo2> extended;
        if (FAILED(named->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(extended.out()))))
            return;
        CUSTDATA data{};
        require(extended->GetAllCustData(&data), "GetAllCustData");
        for (DWORD i = 0; i < data.cCustData; ++i)
            require(target_->SetCustData(data.prgCustData[i].guid, &data.prgCustData[i].varValue),
                    "SetCustData");
        ClearCustData(&data);
    }

    void copyImplementedTypes(ITypeInfo* source) {
        const auto attributes = typeAttributes(source);
        for (UINT i = 0; i < attributes->cImplTypes; ++i) {
            HREFTYPE reference = 0;
            INT flags = 0;
            require(source->GetRefTypeOfImplType(i, &reference), "GetRefTypeOfImplType");
            require(source->GetImplTypeFlags(i, &flags), "GetImplTypeFlags");
            require(target_->AddImplType(i, translate(source, reference)), "AddImplType");
            if (attributes->typekind == TKIND_COCLASS)
                require(target_->SetImplTypeFlags(i, flags), "SetImplTypeFlags");
        }
    }

    void copyFunctions(ITypeInfo* source) {
        const auto attributes = typeAttributes(source);
        for (UINT i = 0; i < attributes->cFuncs; ++i) {
            FUNCDESC* held = nullptr;
            require(source->GetFuncDesc(i, &held), "GetFuncDesc");
            const Borrowed function(held, [source](FUNCDESC* f) { source->ReleaseFuncDesc(f); });
            FUNCDESC copy = *function;
            std::vector<ELEMDESC> parameters(function->lprgelemdescParam,
                                             function->lprgelemdescParam + function->cParams);
            for (ELEMDESC& parameter : parameters)
                parameter.tdesc = translate(source, parameter.tdesc);
            copy.lprgelemdescParam = parameters.data();
            copy.elemdescFunc.tdesc = translate(source, function->elemdescFunc.tdesc);
            require(target_->AddFuncDesc(i, &copy), "AddFuncDesc");

            std::array<BSTR, 64> names{};
            UINT named = 0;
            require(source->GetNames(function->memid, names.data(), names.size(), &named),
                    "GetNames");
            // A property put's last parameter is the value assigned: it has no name of its own.
            const bool put = function->invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF);
            const UINT allowed = static_cast<UINT>(function->cParams) + (put ? 0 : 1);
            const HRESULT result =
                target_->SetFuncAndParamNames(i, names.data(), named < allowed ? named : allowed);
            for (UINT n = 0; n < named; ++n) SysFreeString(names[n]);
            require(result, "SetFuncAndParamNames");

            Text doc;
            DWORD helpContext = 0;
            require(source->GetDocumentation(function->memid, nullptr, doc.out(), &helpContext,
                                             nullptr),
                    "GetDocumentation");
            if (!doc.empty()) require(target_->SetFuncDocString(i, doc.get()), "SetFuncDocString");
            if (helpContext != 0)
                require(target_->SetFuncHelpContext(i, helpContext), "SetFuncHelpContext");
        }
    }

    void copyVariables(ITypeInfo* source, bool enumeration) {
        const auto attributes = typeAttributes(source);
        for (UINT i = 0; i < attributes->cVars; ++i) {
            VARDESC* held = nullptr;
            require(source->GetVarDesc(i, &held), "GetVarDesc");
            const Borrowed variable(held, [source](VARDESC* v) { source->ReleaseVarDesc(v); });
            VARDESC copy = *variable;
            copy.elemdescVar.tdesc = translate(source, variable->elemdescVar.tdesc);
            require(target_->AddVarDesc(i, &copy), "AddVarDesc");

            Text name, doc;
            DWORD helpContext = 0;
            require(source->GetDocumentation(variable->memid, name.out(), doc.out(), &helpContext,
                                             nullptr),
                    "GetDocumentation");
            require(target_->SetVarName(i, name.get()), "SetVarName");
            // Object browsers show a constant's help string beside it; the name is all there is
            // to say about a symbology.
            const LPOLESTR help = doc.empty() && enumeration ? name.get() : doc.get();
            if (*help != L'\0') require(target_->SetVarDocString(i, help), "SetVarDocString");
            if (helpContext != 0)
                require(target_->SetVarHelpContext(i, helpContext), "SetVarHelpContext");
        }
    }

    // A reference into widl's library becomes a reference to the type of that name in the new
    // one; a reference to another library (IDispatch in stdole2) is taken over as it is.
    HREFTYPE translate(ITypeInfo* source, HREFTYPE reference) {
        Owned<ITypeInfo> referenced;
        require(source->GetRefTypeInfo(reference, referenced.out()), "GetRefTypeInfo");
        Owned<ITypeLib> library;
        UINT index = 0;
        require(referenced->GetContainingTypeLib(library.out(), &index), "GetContainingTypeLib");
        ITypeInfo* target = referenced.get();
        if (sameLibrary(library.get())) {
            const std::wstring name = nameOf(referenced.get());
            target = nullptr;
            for (const Created& type : created_)
                if (type.name == name) target = type.reader.get();
            if (target == nullptr) throw Failure{"a referenced type has no place in the order", 0};
        }
        HREFTYPE translated = 0;
        require(target_->AddRefTypeInfo(target, &translated), "AddRefTypeInfo");
        return translated;
    }

    // Rebuilds a type's chain of pointers, arrays and references with translated references.
    TYPEDESC translate(ITypeInfo* source, const TYPEDESC& type) {
        TYPEDESC copy = type;
        switch (type.vt) {
            case VT_PTR:
            case VT_SAFEARRAY:
                copy.lptdesc = &types_.emplace_back(translate(source, *type.lptdesc));
                break;
            case VT_USERDEFINED:
                copy.hreftype = translate(source, type.hreftype);
                break;
            case VT_CARRAY:
                throw Failure{"fixed-size arrays are not copied", 0};
            default:
                break;
        }
        return copy;
    }

    bool sameLibrary(ITypeLib* library) {
        TLIBATTR* theirs = nullptr;
        TLIBATTR* ours = nullptr;
        require(library->GetLibAttr(&theirs), "GetLibAttr");
        require(sourceLibrary_->GetLibAttr(&ours), "GetLibAttr");
        const bool same = IsEqualGUID(theirs->guid, ours->guid);
        library->ReleaseTLibAttr(theirs);
        sourceLibrary_->ReleaseTLibAttr(ours);
        return same;
    }

    ITypeLib* sourceLibrary_;
    std::vector<Created>& created_;
    ICreateTypeInfo2* target_;
    std::deque<TYPEDESC> types_;  // pointed to by the descriptions until the copy is laid out
};

void copyLibraryAttributes(ITypeLib* source, ICreateTypeLib2* target) {
    TLIBATTR* held = nullptr;
    require(source->GetLibAttr(&held), "GetLibAttr");
    const Borrowed attributes(held, [source](TLIBATTR* a) { source->ReleaseTLibAttr(a); });
    Text name, doc, helpFile;
    DWORD helpContext = 0;
    require(source->GetDocumentation(-1, name.out(), doc.out(), &helpContext, helpFile.out()),
            "GetDocumentation");
    require(target->SetName(name.get()), "SetName");
    require(target->SetGuid(attributes->guid), "SetGuid");
    require(target->SetLcid(attributes->lcid), "SetLcid");
    require(target->SetVersion(attributes->wMajorVerNum, attributes->wMinorVerNum), "SetVersion");
    // Having a disk image is what loading concludes, not a property of the library.
    require(target->SetLibFlags(attributes->wLibFlags & ~LIBFLAG_FHASDISKIMAGE), "SetLibFlags");
    if (!doc.empty()) require(target->SetDocString(doc.get()), "SetDocString");
    if (helpContext != 0) require(target->SetHelpContext(helpContext), "SetHelpContext");
    if (!helpFile.empty()) require(target->SetHelpFileName(helpFile.get()), "SetHelpFileName");

    Owned<ITypeLib2> extended;
    if (FAILED(source->QueryInterface(IID_ITypeLib2, reinterpret_cast<void**>(extended.out()))))
        return;
    CUSTDATA data{};
    require(extended->GetAllCustData(&data), "GetAllCustData");
    for (DWORD i = 0; i < data.cCustData; ++i)
        require(target->SetCustData(data.prgCustData[i].guid, &data.prgCustData[i].varValue),
                "SetCustData");
    ClearCustData(&data);
}

// The binary form of a type library (MSFT): just enough of it to find each type's fixed-size
// record and its name. Every offset is checked, so a file of another form fails the build.
class LibraryImage {
  public:
    explicit LibraryImage(const wchar_t* path) : path_(path) {
        std::FILE* file = _wfopen(path, L"rb");
        if (file == nullptr) throw Failure{"reading a type library", 0};
        unsigned char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            bytes_.insert(bytes_.end(), buffer, buffer + n);
        std::fclose(file);
        if (word(0) != 0x5446534d) throw Failure{"not an MSFT type library", 0};
        constexpr std::size_t headerSize = 0x54, helpDllFlag = 0x100, segmentSize = 16;
        const std::size_t types = word(0x20);
        const std::size_t segments = headerSize + ((word(0x14) & helpDllFlag) ? 4 : 0) + 4 * types;
        typeTable_ = word(segments);
        nameTable_ = word(segments + 7 * segmentSize);
        for (std::size_t i = 0; i < types; ++i) {
            const std::size_t record = typeTable_ + i * recordSize;
            const std::size_t name = nameTable_ + word(record + nameField);
            const std::size_t length = word(name + 8) & 0xff;
            if (name + 12 + length > bytes_.size()) throw Failure{"a type's name is cut off", 0};
            names_.emplace_back(reinterpret_cast<const char*>(&bytes_[name + 12]), length);
        }
    }

    std::size_t record(const std::string& name) const {
        for (std::size_t i = 0; i < names_.size(); ++i)
            if (names_[i] == name) return typeTable_ + i * recordSize;
        throw Failure{"a type is missing from a library image", 0};
    }
    const std::vector<std::string>& names() const { return names_; }

    void copyField(const LibraryImage& from, std::size_t fromRecord, std::size_t toRecord,
                   std::size_t field, std::size_t size) {
        from.check(fromRecord + field + size);
        check(toRecord + field + size);
        std::copy_n(&from.bytes_[fromRecord + field], size, &bytes_[toRecord + field]);
    }

    void save() const {
        std::FILE* file = _wfopen(path_.c_str(), L"wb");
        if (file == nullptr || std::fwrite(bytes_.data(), 1, bytes_.size(), file) != bytes_.size())
            throw Failure{"writing the type library", 0};
        if (std::fclose(file) != 0) throw Failure{"writing the type library", 0};
    }

    static constexpr std::size_t recordSize = 0x64, flagsField = 0x30, nameField = 0x34,
                                 vtableSizeField = 0x4e, instanceSizeField = 0x50;

  private:
    void check(std::size_t end) const {
        if (end > bytes_.size()) throw Failure{"a type library record is cut off", 0};
    }
    std::uint32_t word(std::size_t at) const {
        check(at + 4);
        return static_cast<std::uint32_t>(bytes_[at]) | bytes_[at + 1] << 8 | bytes_[at + 2] << 16 |
               static_cast<std::uint32_t>(bytes_[at + 3]) << 24;
    }

    std::wstring path_;
    std::vector<unsigned char> bytes_;
    std::size_t typeTable_ = 0, nameTable_ = 0;
    std::vector<std::string> names_;
};

// oleaut32 fills in three fields of a type's record by its own rules, which widl does not share
// and which loaders read back literally: it marks the class dispatchable, sizes the enumeration
// as a pointer on 64-bit, and gives the member-less event interface IDispatch's vtable size, which
// Wine's loader then counts as seven members of its own. Each record keeps widl's values.
void keepWidlLayout(const wchar_t* sourcePath, const wchar_t* targetPath) {
    const LibraryImage widl(sourcePath);
    LibraryImage written(targetPath);
    for (const std::string& name : written.names()) {
        const std::size_t from = widl.record(name), to = written.record(name);
        written.copyField(widl, from, to, LibraryImage::flagsField, 4);
        written.copyField(widl, from, to, LibraryImage::vtableSizeField, 2);
        written.copyField(widl, from, to, LibraryImage::instanceSizeField, 4);
    }
    written.save();
}

Owned<ITypeInfo> findType(ITypeLib* library, const std::wstring& name) {
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        Owned<ITypeInfo> info;
        require(library->GetTypeInfo(i, info.out()), "GetTypeInfo");
        if (nameOf(info.get()) == name) return info;
    }
    throw Failure{"a type of the published order is missing from the IDL", 0};
}

void rewrite(const wchar_t* sourcePath, const wchar_t* targetPath) {
    Owned<ITypeLib> source;
    require(LoadTypeLibEx(sourcePath, REGKIND_NONE, source.out()), "LoadTypeLibEx");
    TLIBATTR* attributes = nullptr;
    require(source->GetLibAttr(&attributes), "GetLibAttr");
    const SYSKIND system = attributes->syskind;
    source->ReleaseTLibAttr(attributes);
    if (source->GetTypeInfoCount() != typeOrder.size())
        throw Failure{"the IDL's types and the published order disagree", 0};

    Owned<ICreateTypeLib2> target;
    require(CreateTypeLib2(system, targetPath, target.out()), "CreateTypeLib2");
    copyLibraryAttributes(source.get(), target.get());

    // All types are created first, in order, so that each can refer to any other.
    std::vector<Created> created;
    std::vector<Owned<ITypeInfo>> sources;
    for (const wchar_t* name : typeOrder) {
        Owned<ITypeInfo> info = findType(source.get(), name);
        const TYPEKIND kind = isDual(*typeAttributes(info.get()))
                                  ? TKIND_INTERFACE
                                  : typeAttributes(info.get())->typekind;
        std::wstring lookup = name;
        Created type{name, {}, {}};
        Owned<ICreateTypeInfo> writer;
        require(target->CreateTypeInfo(lookup.data(), kind, writer.out()), "CreateTypeInfo");
        require(writer->QueryInterface(IID_ICreateTypeInfo2,
                                       reinterpret_cast<void**>(type.writer.out())),
                "ICreateTypeInfo2");
        require(writer->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(type.reader.out())),
                "ITypeInfo");
        created.push_back(std::move(type));
        sources.push_back(std::move(info));
    }
    for (std::size_t i = 0; i < created.size(); ++i)
        TypeCopy(source.get(), created, created[i].writer.get()).copy(sources[i].get());
    require(target->SaveAllChanges(), "SaveAllChanges");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: typelib_writer SOURCE.tlb TARGET.tlb\n");
        return 64;
    }
    if (FAILED(CoInitialize(nullptr))) return 1;
    int status = 0;
    try {
        rewrite(argv[1], argv[2]);
        keepWidlLayout(argv[1], argv[2]);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "typelib_writer: %s failed (0x%08lx)\n", failure.what.c_str(),
                     static_cast<unsigned long>(failure.result));
        status = 1;
    }
    CoUninitialize();
    return status;
}
