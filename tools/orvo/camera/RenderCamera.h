// The camera and depth of a render in the terms of the parameter file:
// from OpenEXR's camera attributes, from the terms a user knows (degrees,
// millimetres), and a renderer's depth channel (a distance in scene units
// along the camera's axis) turned into the saver's depth layer.
//
// The saver's depth layer holds 1 - distance / depthMax where something was
// hit and 0.0 where nothing was; the Orvo file's codes then hold that
// distance: from the camera's position to the point seen, along the ray
// through the pixel's centre.
#pragma once

#include "orvo/render/ExrRender.h"
#include "orvo/camera/ParamFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fennick {
namespace tool {

// The film width that a camera taken from a render is given: the frame's
// shape comes from the render, only the ratios of focal length and film
// matter to the saver. Metres, as the host measures.
inline constexpr double kDerivedFilmWidth = 0.036;
// depthMax is the farthest hit times this, so that every hit keeps a depth
// sample above 0.0 (which means "nothing hit").
inline constexpr double kDepthMargin = 1.25;
// Depth samples this far or farther stand for the background (renderers
// write their "nothing hit" as a huge distance as well as infinity or 0).
inline constexpr double kBackgroundDistance = 1e9;

// The camera of a render that carries worldToCamera and worldToNDC, in the
// parameter file's terms; depthMax is left at 1 for the caller. Throws
// ToolError (naming `path`) for cameras the saver's camera model cannot
// hold: without worldToNDC, orthographic, off-centre, sheared or mirrored.
CameraParameters cameraFromExr(const std::string& path, const ExrCamera& camera, unsigned width,
                               unsigned height, std::vector<std::string>& warnings);

struct UserCamera {
    double position[3] = {0, 0, 0};
    // Degrees about the world's X, Y and Z axes, applied in that order to a
    // camera that looks along -Z with +Y up.
    double rotation[3] = {0, 0, 0};
    double focalLengthMm = 50;
    double filmWidthMm = 36;
    double filmHeightMm = 24;
    std::string filmFit = "horizontal";
    std::string projection = "persp";
    double depthMax = 0;
    double dpi = kDefaultDpi;
    double pixelAspect = 1;
    // Whether position and rotation are given in a world whose Z is up.
    bool zUp = false;
};

CameraParameters cameraFromUser(const UserCamera& user);

// The host's world, which the parameter file speaks of, has Y up. A camera
// described in a world whose Z is up (Blender's) is carried over by
// (x, y, z) -> (x, z, -y), its position and axes alike; lens and range stay.
void convertFromZUp(CameraParameters& camera);

// The OpenEXR camera attributes of a perspective camera: the exact inverse
// of cameraFromExr (position and axes in worldToCamera, the lens in the
// projection worldToNDC makes of camera space: x_ndc = 0.5 + f x / (fw z),
// y_ndc = 0.5 - f y / (fh z), with f the focal length and fw, fh the film's
// size as the picture frames it; z_ndc = 1 / z, which keeps the matrix
// invertible), and the pixel aspect. Other planar cameras have no
// worldToNDC. Throws ToolError naming `path`, the camera's file, when the
// axes are not independent.
ExrCamera exrCameraFrom(const std::string& path, const CameraParameters& camera, unsigned width,
                        unsigned height);

// Length of the ray through pixel (x, y)'s centre whose component along the
// camera's axis is 1: the factor from planar depth to distance.
double rayLengthPerDepth(const CameraParameters& camera, unsigned width, unsigned height,
                         unsigned x, unsigned y);

// rayLengthPerDepth over one picture: the projection and the film's size are
// worked out once, not for every pixel.
class RayLengths {
public:
    RayLengths(const CameraParameters& camera, unsigned width, unsigned height);
    double operator()(unsigned x, unsigned y) const;

private:
    bool perspective_;
    double focalLen_;
    unsigned width_;
    unsigned height_;
    double filmWidth_ = 0;
    double filmHeight_ = 0;
};

struct DepthLayer {
    std::vector<float> values;  // the saver's convention
    std::uint64_t hits = 0;
    std::uint64_t background = 0;  // 0, negative, NaN, infinite or kBackgroundDistance and more
    std::uint64_t beyond = 0;      // hits at depthMax or farther, saved as no depth
};

// The farthest distance among the hits of a planar depth channel; 0 when
// nothing was hit.
double farthestHit(const std::vector<float>& planar, const CameraParameters& camera, unsigned width,
                   unsigned height);

// Planar depth in scene units to the saver's depth layer with the camera's
// depthMax. The layer is made in the planar channel's own storage (moved
// in), which spares a full-size float picture.
DepthLayer depthFromPlanar(std::vector<float> planar, const CameraParameters& camera,
                           unsigned width, unsigned height);

// Samples of a depth layer outside its convention: negative, above 1, NaN
// or infinite. Of the layer's values only every `stride`-th counts (the
// first channel of a layer of `stride` channels).
std::uint64_t samplesOutsideConvention(const std::vector<float>& values, unsigned stride = 1);

}  // namespace tool
}  // namespace fennick
