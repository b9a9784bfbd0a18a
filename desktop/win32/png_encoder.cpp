// EncodePng on the imaging component's PNG encoder, writing to a stream in memory.
#include "png_encoder.h"

#include <windows.h>
// Needs the types that windows.h declares.
#include <objbase.h>
#include <wincodec.h>

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

ByteText EncodePng(const Raster& raster) {
    const auto factory = Made<IWICImagingFactory>(
        [](IWICImagingFactory** out) {
            return ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(out));
        },
        "no imaging component");
    const auto stream =
        Made<IStream>([](IStream** out) { return ::CreateStreamOnHGlobal(nullptr, TRUE, out); },
                      "no memory stream");
    const auto encoder = Made<IWICBitmapEncoder>(
        [&](IWICBitmapEncoder** out) {
            return factory.Get()->CreateEncoder(GUID_ContainerFormatPng, nullptr, out);
        },
        "no PNG encoder");
    Check(encoder.Get()->Initialize(stream.Get(), WICBitmapEncoderNoCache),
          "cannot start the PNG encoder");
    WriteFrame(*factory.Get(), *encoder.Get(), raster);
    Check(encoder.Get()->Commit(), "cannot finish the PNG");
    return ReadWhole(*stream.Get());
}
