#include "saver/OrvoSaver.h"

#include "avkorvo/OrvoFile.h"
#include "contract/LayerNames.h"
#include "contract/SideFileNames.h"
#include "host/HostWrappers.h"
#include "CameraModel.h"
#include "DepthCode.h"
#include "FileName.h"
#include "MaterialHelper.h"
#include "ParameterFile.h"
#include "TempTarget.h"
#include "TgaFile.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <memory>
#include <new>
#include <string>
#include <vector>

using Talvenrock::Orvo::OrvoError;
using Talvenrock::Orvo::OrvoFile;
using Talvenrock::Orvo::Projection;

const LXtTagInfoDesc COrvoSaver::descInfo[] = {
    {"saver.outClass", "layeredimage", nullptr},
    {"saver.dosType", "ovq", nullptr},
    {"server.username", "Quillorn Orvo", nullptr},
    {"server.logsubsystem", "io-status", nullptr},
    {nullptr, nullptr, nullptr},
};

namespace {

constexpr const char* kLogSubsystem = "io-status";
constexpr const wchar_t* kSoftware = L"Talvenrock Orvo plugin for Modo";

// Writer passes.
constexpr int kColourPass = 1;
constexpr int kDepthPass = 2;
constexpr int kMaterialPass = 4;

// Colour image bytes per pixel and their order (blue, green, red, alpha).
constexpr std::size_t kTgaPixelBytes = 4;
constexpr std::size_t kTgaBlue = 0;
constexpr std::size_t kTgaGreen = 1;
constexpr std::size_t kTgaRed = 2;

// Depth takes one float of a layer's pixel, the material classifier three.
constexpr unsigned kMaxFetchedFloats = 3;

constexpr const char* kMsgNotLayered = "Not a layered image";
constexpr const char* kMsgNoLayers = "No layers found";
constexpr const char* kMsgNoName = "Could not get name of image %d";
constexpr const char* kMsgNoDepth
    = "Depth image not found - please use the script to save Orvo files";
constexpr const char* kMsgNoParameters
    = "Parameter file not found - please use the script to save Orvo files";
constexpr const char* kMsgBadParameters
    = "invalid parameter file - please use the script to save Orvo files";
constexpr const char* kMsgNoImage
    = "Failed to read image - please use the script to save Orvo files";
constexpr const char* kMsgImageSize = "Image size wrong - please use the script to save Orvo files";
constexpr const char* kMsgBadRow
    = "Failed to read row %d from image - please use the script to save Orvo files";
constexpr const char* kMsgNoLayerImage = "Failed to get image %d from layered image";
constexpr const char* kMsgWriteError = "Error writing Orvo file - %s";
#ifdef _WIN32
constexpr const char* kBadFileName = "file name cannot be converted from the active code page";
#else
constexpr const char* kBadFileName = "file name is not valid UTF-8";
#endif

// Formats that can be read as leading 32-bit floats are fetched as they are;
// any other format is asked for in `fallback`, which the host converts to.
LXtPixelFormat fetchFormat(LXtPixelFormat own, unsigned floatsNeeded, LXtPixelFormat fallback)
{
    if (lxPixelIsFloat(own) && lxPixelChannels(own) >= floatsNeeded
        && lxPixelBytes(own) <= LXi_MAX_PIXEL_BYTES)
        return own;
    return fallback;
}

LxResult logWriteError(CLxUser_Log& log, const char* what)
{
    log.Message(LXe_LOG_INFO, kMsgWriteError, what);
    return LXe_FAILED;
}

// One save call. Every failure logs exactly one message and returns its
// code; writer and system errors arrive as exceptions and are turned into
// their message by sav_Save. In run() the writer is declared after the
// temporary file it writes, so on every exit it is destroyed (and its file
// closed) before that file is removed.
class SaveOperation {
public:
    SaveOperation(CLxUser_Log& log, const char* filename)
        : log_(log), target_(filename ? filename : "")
    {
    }

    LxResult run(LXtObjectID source)
    {
        CLxUser_LayeredImage layered(source);
        if (!layered.test())
            return fail(LXe_LOG_FAILURE, LXe_FAILED, kMsgNotLayered);

        const unsigned count = layered.Count();
        if (count == 0)
            return fail(LXe_LOG_FAILURE, LXe_NOTFOUND, kMsgNoLayers);

        const std::string parameterName = fennick::contract::parameterFileFor(target_);
        const std::string colourName = fennick::contract::colourImageFor(target_);

        fennick::contract::LayerChoice layers;
        for (unsigned i = 0; i < count; ++i) {
            const char* name = nullptr;
            const LxResult rc = layered.Name(i, &name);
            if (LXx_FAIL(rc) || !name)
                return fail(LXe_LOG_INFO, LXx_FAIL(rc) ? rc : LXe_FAILED, kMsgNoName,
                            static_cast<int>(i));
            layers.consider(static_cast<int>(i), name);
        }
        const int depthIndex = layers.depth();
        const int materialIndex = layers.material();
        if (depthIndex < 0)
            return fail(LXe_LOG_INFO, LXe_FAILED, kMsgNoDepth);

        unsigned width = 0;
        unsigned height = 0;
        if (LXx_FAIL(layered.Size(&width, &height)) || width == 0 || height == 0)
            return writeError("the layered image has no pixels");

        // The name is checked before any side file is touched, so a save
        // refused for its name leaves everything as it was.
        std::wstring widePath;
        if (!getWCS(target_, widePath))
            return writeError(kBadFileName);

        CameraParameters params;
        Projection projection;
        {
            std::string text;
            const ParameterLoad loaded = loadParameterText(parameterName, text);
            if (loaded == ParameterLoad::Missing)
                return fail(LXe_LOG_INFO, LXe_FAILED, kMsgNoParameters);
            // Values that cannot make a camera are refused like bad grammar,
            // before the file is consumed; so is a file that is no file.
            std::istringstream parameterFile(text);
            if (loaded != ParameterLoad::Loaded || !readParameterFile(parameterFile, params)
                || !makeProjection(params, width, height, projection))
                return fail(LXe_LOG_INFO, LXe_FAILED, kMsgBadParameters);
        }
        std::remove(parameterName.c_str());

        // The colour image's header is the only size that can be checked
        // before the writer allocates line buffers for the layered image's
        // width: a host image claiming a huge size fails here, having taken
        // nothing.
        TgaFile tga(colourName.c_str());
        if (!tga.file)
            return fail(LXe_LOG_INFO, LXe_FAILED, kMsgNoImage);
        if (tga.width != width || tga.height != height)
            return fail(LXe_LOG_INFO, LXe_FAILED, kMsgImageSize);

        // The file is written under a temporary name beside the target and
        // replaces it only when complete.
        TempTarget temp(target_);
        if (!temp.ok())
            return writeError(temp.errorText().c_str());

        std::unique_ptr<OrvoFile> writer(OrvoFile::create(OrvoFile::OpenFile{temp.nativeFile()},
                                                          widePath, width, height, kSoftware, L"",
                                                          L"", L"", projection, false));
        const unsigned dpi = resolutionFromDpi(params.dpi);
        writer->setResolution(dpi, dpi, Talvenrock::Orvo::ResolutionInch);

        LxResult rc = colourPass(*writer, tga, width, height);
        if (LXx_FAIL(rc))
            return rc;
        tga.close();
        std::remove(colourName.c_str());

        rc = depthPass(*writer, layered, depthIndex, width, height, params.depthMax,
                       projection.farDistance);
        if (LXx_FAIL(rc))
            return rc;

        if (materialIndex >= 0) {
            rc = materialPass(*writer, layered, materialIndex, width, height);
            if (LXx_FAIL(rc))
                return rc;
        }

        writer->close();
        writer.reset();
        if (!temp.commit())
            return writeError(temp.errorText().c_str());
        return LXe_OK;
    }

    // The one message of a failed save.
    template <class... Args>
    LxResult fail(LxResult type, LxResult code, const char* format, Args... args)
    {
        log_.Message(type, format, args...);
        return code;
    }

    LxResult writeError(const char* what) { return logWriteError(log_, what); }

private:
    // `tga` has been checked against the layered image's size.
    LxResult colourPass(OrvoFile& writer, TgaFile& tga, unsigned width, unsigned height)
    {
        writer.beginPass(kColourPass);
        std::vector<unsigned char> row(static_cast<std::size_t>(width) * kTgaPixelBytes);
        for (unsigned y = 0; y < height; ++y) {
            if (!tga.readLine(row.data(), y))
                return fail(LXe_LOG_INFO, LXe_FAILED, kMsgBadRow, static_cast<int>(y));
            std::uint8_t* rgb = writer.rgbLine();
            const unsigned char* bgra = row.data();
            for (unsigned x = 0; x < width; ++x, rgb += 3, bgra += kTgaPixelBytes) {
                rgb[0] = bgra[kTgaRed];
                rgb[1] = bgra[kTgaGreen];
                rgb[2] = bgra[kTgaBlue];
            }
            writer.putScan();
        }
        return LXe_OK;
    }

    // One pass over a layer of the layered image: every pixel is fetched as
    // at least `floats` leading 32-bit floats (the layer's own format when it
    // has them, else `fallback`, converted by the host) and handed to
    // store(x, floats) to fill the pass's line buffer; each row ends with a
    // scan. The layer is released on every exit.
    template <class Store>
    LxResult layerPass(OrvoFile& writer, CLxUser_LayeredImage& layered, int index, int pass,
                       unsigned floats, LXtPixelFormat fallback, unsigned width, unsigned height,
                       Store&& store)
    {
        CLxUser_Image image;
        if (!layered.GetImage(image, static_cast<unsigned>(index)))
            return fail(LXe_LOG_FAILURE, LXe_FAILED, kMsgNoLayerImage, index);
        const LXtPixelFormat format = fetchFormat(image.Format(), floats, fallback);

        writer.beginPass(pass);
        alignas(float) unsigned char pixel[LXi_MAX_PIXEL_BYTES];
        float values[kMaxFetchedFloats];
        for (unsigned y = 0; y < height; ++y) {
            for (unsigned x = 0; x < width; ++x) {
                if (LXx_FAIL(image.GetPixel(x, y, format, pixel)))
                    return fail(LXe_LOG_FAILURE, LXe_FAILED, kMsgNoLayerImage, index);
                std::memcpy(values, pixel, floats * sizeof(float));
                store(x, values);
            }
            writer.putScan();
        }
        return LXe_OK;
    }

    LxResult depthPass(OrvoFile& writer, CLxUser_LayeredImage& layered, int index, unsigned width,
                       unsigned height, double depthMax, double farDistance)
    {
        std::uint32_t* codes = writer.zLine();
        return layerPass(
            writer, layered, index, kDepthPass, 1, LXiIMP_GREYFP, width, height,
            [&](unsigned x, const float* v) { codes[x] = depthCode(v[0], depthMax, farDistance); });
    }

    LxResult materialPass(OrvoFile& writer, CLxUser_LayeredImage& layered, int index,
                          unsigned width, unsigned height)
    {
        MaterialHelper materials;
        std::uint16_t* tags = writer.matLine();
        const LxResult rc = layerPass(writer, layered, index, kMaterialPass, 3, LXiIMP_RGBFP, width,
                                      height, [&](unsigned x, const float* rgb) {
                                          tags[x] = materials.getTag(rgb[0], rgb[1], rgb[2]);
                                      });
        if (LXx_FAIL(rc))
            return rc;
        materials.writeMaterials(writer);
        return LXe_OK;
    }

    CLxUser_Log& log_;
    std::string target_;
};

}  // namespace

LxResult COrvoSaver::sav_Save(LXtObjectID source, const char* filename, LXtObjectID /*monitor*/)
{
    CLxUser_Log log;
    if (!log.setByName(kLogSubsystem))
        return LXe_FAILED;

    // Writer and system errors end the save here, after the operation's
    // locals (writer first, then its temporary file) have been released.
    // Anything that is not a standard exception is left to the adapter,
    // which answers failure to the host.
    try {
        SaveOperation save(log, filename);
        return save.run(source);
    } catch (const OrvoError& e) {
        return logWriteError(log, e.what());
    } catch (const std::bad_alloc&) {
        return logWriteError(log, "out of memory");
    } catch (const std::exception& e) {
        return logWriteError(log, e.what());
    }
}
