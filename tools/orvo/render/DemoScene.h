// The built-in scene of `orvo demo`: coloured spheres on a ground plane, seen
// through a perspective camera and ray-traced into the three layers a host
// render gives the saver.
//
// Layers, in order: "RGBA" (shaded linear colour, alpha 1), "Orvo_depth"
// (1 - distance / depthMax where an object was hit, 0.0 where nothing was)
// and "Orvo_mat" (each object's material colour scaled by its shading, so
// lightness varies but hue does not and every object keeps one material).
// The result depends on nothing but the size.
#pragma once

#include "orvo/camera/ParamFile.h"
#include "orvo/render/RenderImage.h"

#include <functional>
#include <string>
#include <vector>

namespace fennick {
namespace tool {

struct DemoObject {
    std::string name;
    float material[3];  // pure-hue material colour, top component 1
};

struct DemoRender {
    RenderImage image;
    CameraParameters camera;  // what the parameter file carries
    std::vector<DemoObject> objects;
    // Per pixel, row-major: index into objects, or -1 where nothing was hit.
    std::vector<int> objectAt;
};

// The parameter file the demo leaves beside demo.ovq: the camera it saved
// with.
inline constexpr char kDemoCameraFile[] = "demo.camera.txt";

inline constexpr unsigned kDemoDefaultWidth = 640;
inline constexpr unsigned kDemoDefaultHeight = 480;

// Rows are rendered on up to one thread a core. `rowsDone` (when given)
// hears the share of rows rendered, on the calling thread, as the rows get
// done and 1 at the end.
DemoRender renderDemo(unsigned width, unsigned height,
                      const std::function<void(double)>& rowsDone = nullptr);

}  // namespace tool
}  // namespace fennick
