// EncodePng on the imaging component's PNG encoder, writing to a capped stream in memory.
#include "png_encoder.h"

#include <windows.h>
// Needs the types that windows.h declares.
#include <objbase.h>
#include <wincodec.h>

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "failure.h"
#include "win32_handles.h"

namespace {

void Check(HRESULT result, const char* what) {
    if (FAILED(result)) {
        throw Failure(what);
    }
}

// The COM object that make creates through its out parameter, owned.
template <typename Interface, typename Make>
UniqueCom<Interface> Made(Make make, const char* what) {
    Interface* object = nullptr;
    Check(make(&object), what);
    if (object == nullptr) {
        throw Failure(what);
    }
    return UniqueCom<Interface>(object);
}

WICPixelFormatGUID FormatOf(const Raster& raster) {
    switch (raster.layout) {
        case Raster::Layout::Indexed:
            return raster.bits_per_pixel == 1   ? GUID_WICPixelFormat1bppIndexed
                   : raster.bits_per_pixel == 4 ? GUID_WICPixelFormat4bppIndexed
                                                : GUID_WICPixelFormat8bppIndexed;
        case Raster::Layout::Bgr:
            return GUID_WICPixelFormat24bppBGR;
        case Raster::Layout::Bgra:
            break;
    }
    return GUID_WICPixelFormat32bppBGRA;
}

// Asks for the filter chosen row by row, which makes the smallest files of true-colour pictures;
// an encoder that does not know the option writes its default, which is still a PNG.
void ChooseFilters(IPropertyBag2& options, const Raster& raster) {
    if (raster.layout == Raster::Layout::Indexed) {
        return;  // indexed rows compress best unfiltered, the encoder's default for them
    }
    PROPBAG2 option{};
    option.pstrName = const_cast<LPOLESTR>(L"FilterOption");
    VARIANT value{};
    value.vt = VT_UI1;
    value.bVal = WICPngFilterAdaptive;
    options.Write(1, &option, &value);
}

void SetPalette(IWICImagingFactory& factory, IWICBitmapFrameEncode& frame, const Raster& raster) {
    const auto palette = Made<IWICPalette>(
        [&](IWICPalette** out) { return factory.CreatePalette(out); }, "no palette");
    std::vector<WICColor> colours(raster.palette.begin(), raster.palette.end());
    Check(palette.Get()->InitializeCustom(colours.data(), static_cast<UINT>(colours.size())),
          "cannot fill the palette");
    Check(frame.SetPalette(palette.Get()), "the PNG encoder refuses the palette");
}

void WriteFrame(IWICImagingFactory& factory, IWICBitmapEncoder& encoder, const Raster& raster) {
    IWICBitmapFrameEncode* raw_frame = nullptr;
    IPropertyBag2* raw_options = nullptr;
    const HRESULT made = encoder.CreateNewFrame(&raw_frame, &raw_options);
    const UniqueCom<IWICBitmapFrameEncode> frame(raw_frame);
    const UniqueCom<IPropertyBag2> options(raw_options);
    Check(made, "the PNG encoder makes no frame");
    if (!frame) {
        throw Failure("the PNG encoder makes no frame");
    }
    if (options) {
        ChooseFilters(*options.Get(), raster);
    }
    Check(frame.Get()->Initialize(options.Get()), "cannot start the PNG frame");
    Check(frame.Get()->SetSize(raster.width, raster.height), "cannot size the PNG frame");
    const WICPixelFormatGUID wanted = FormatOf(raster);
    WICPixelFormatGUID format = wanted;
    Check(frame.Get()->SetPixelFormat(&format), "the PNG encoder refuses the pixel format");
    // An encoder that answers with another format would take the pixels for what they are not.
    if (format != wanted) {
        throw Failure("the PNG encoder wants another pixel format");
    }
    if (raster.layout == Raster::Layout::Indexed) {
        SetPalette(factory, *frame.Get(), raster);
    }
    Check(frame.Get()->WritePixels(raster.height, raster.stride,
                                   static_cast<UINT>(raster.pixels.size()),
                                   const_cast<BYTE*>(raster.pixels.data())),
          "the PNG encoder refuses the pixels");
    Check(frame.Get()->Commit(), "cannot finish the PNG frame");
}

// A stream in memory that takes at most its cap in bytes and fails any write past it, which
// stops the encoder there instead of after the whole picture.
class CappedStream final : public IStream {
public:
    CappedStream(UniqueCom<IStream> kept, std::size_t cap) : kept_(std::move(kept)), cap_(cap) {}
    bool Overflowed() const { return overflowed_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (id == IID_IUnknown || id == IID_ISequentialStream || id == IID_IStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE Read(void* into, ULONG bytes, ULONG* read) override {
        return kept_.Get()->Read(into, bytes, read);
    }
    HRESULT STDMETHODCALLTYPE Write(const void* from, ULONG bytes, ULONG* written) override {
        ULARGE_INTEGER at{};
        const HRESULT found = kept_.Get()->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &at);
        if (FAILED(found)) {
            return found;
        }
        const std::uint64_t room = at.QuadPart < cap_ ? cap_ - at.QuadPart : 0;
        if (bytes <= room) {
            return kept_.Get()->Write(from, bytes, written);
        }
        overflowed_ = true;
        // The bytes up to the cap are kept, so that the stream holds exactly the cap.
        ULONG kept = 0;
        kept_.Get()->Write(from, static_cast<ULONG>(room), &kept);
        if (written != nullptr) {
            *written = kept;
        }
        return STG_E_MEDIUMFULL;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* at) override {
        return kept_.Get()->Seek(move, origin, at);
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
        if (size.QuadPart > cap_) {
            return STG_E_MEDIUMFULL;
        }
        return kept_.Get()->SetSize(size);
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* /*to*/, ULARGE_INTEGER /*bytes*/,
                                     ULARGE_INTEGER* /*read*/,
                                     ULARGE_INTEGER* /*written*/) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override { return kept_.Get()->Commit(flags); }
    HRESULT STDMETHODCALLTYPE Revert() override { return kept_.Get()->Revert(); }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER /*from*/, ULARGE_INTEGER /*bytes*/,
                                         DWORD /*type*/) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER /*from*/, ULARGE_INTEGER /*bytes*/,
                                           DWORD /*type*/) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* about, DWORD flags) override {
        return kept_.Get()->Stat(about, flags);
    }
    // A clone would write past the cap.
    HRESULT STDMETHODCALLTYPE Clone(IStream** out) override {
        if (out != nullptr) {
            *out = nullptr;
        }
        return E_NOTIMPL;
    }

private:
    ~CappedStream() = default;

    UniqueCom<IStream> kept_;
    std::uint64_t cap_;
    std::atomic<ULONG> references_{1};
    bool overflowed_ = false;
};

ByteText ReadWhole(IStream& stream) {
    STATSTG about{};
    Check(stream.Stat(&about, STATFLAG_NONAME), "cannot measure the PNG");
    ByteText bytes(static_cast<std::size_t>(about.cbSize.QuadPart));
    Check(stream.Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), "cannot rewind the PNG");
    ULONG read = 0;
    Check(stream.Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read),
          "cannot read the PNG");
    if (read != bytes.size()) {
        throw Failure("the PNG was cut short");
    }
    return bytes;
}

}  // namespace

ByteText EncodePng(const Raster& raster, std::size_t most_bytes) {
    const auto factory = Made<IWICImagingFactory>(
        [](IWICImagingFactory** out) {
            return ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(out));
        },
        "no imaging component");
    auto kept =
        Made<IStream>([](IStream** out) { return ::CreateStreamOnHGlobal(nullptr, TRUE, out); },
                      "no memory stream");
    auto* const capped = new CappedStream(std::move(kept), most_bytes);
    const UniqueCom<IStream> stream(capped);
    const auto encoder = Made<IWICBitmapEncoder>(
        [&](IWICBitmapEncoder** out) {
            return factory.Get()->CreateEncoder(GUID_ContainerFormatPng, nullptr, out);
        },
        "no PNG encoder");
    Check(encoder.Get()->Initialize(stream.Get(), WICBitmapEncoderNoCache),
          "cannot start the PNG encoder");
    try {
        WriteFrame(*factory.Get(), *encoder.Get(), raster);
        Check(encoder.Get()->Commit(), "cannot finish the PNG");
    } catch (const Failure&) {
        // The encoder fails at the cap; what it wrote up to there is all there is to know.
        if (!capped->Overflowed()) {
            throw;
        }
    }
    ByteText png = ReadWhole(*stream.Get());
    // Less than the cap after a write past it would pass for a whole, smaller PNG.
    if (capped->Overflowed() && png.size() != most_bytes) {
        throw Failure("the PNG was cut short");
    }
    return png;
}
