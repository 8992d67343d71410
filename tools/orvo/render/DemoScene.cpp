#include "orvo/render/DemoScene.h"

#include "orvo/camera/RenderCamera.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

namespace fennick {
namespace tool {

namespace {

struct Vec {
    double x, y, z;
};
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator*(Vec a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec cross(Vec a, Vec b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec normalize(Vec a) { return a * (1.0 / std::sqrt(dot(a, a))); }

struct Sphere {
    Vec centre;
    double radius;
    float albedo[3];  // linear colour in the RGBA layer
};

// Scene, in the host's coordinates (Y up). The colours have two equal
// components (or one alone), so their hue survives the sRGB encoding of the
// colour side file unchanged.
constexpr int kGround = 0;
const DemoObject kObjects[] = {
    {"ground", {0.4f, 1.0f, 1.0f}},        {"red sphere", {1.0f, 0.0f, 0.0f}},
    {"green sphere", {0.0f, 1.0f, 0.0f}},  {"blue sphere", {0.0f, 0.0f, 1.0f}},
    {"yellow sphere", {1.0f, 1.0f, 0.0f}},
};
const Sphere kSpheres[] = {
    {{-1.7, 0.8, 0.0}, 0.8, {0.75f, 0.08f, 0.08f}},
    {{0.3, 0.6, -1.3}, 0.6, {0.08f, 0.6f, 0.08f}},
    {{1.6, 0.9, 0.7}, 0.9, {0.1f, 0.1f, 0.8f}},
    {{-0.1, 0.4, 1.5}, 0.4, {0.8f, 0.8f, 0.08f}},
};
constexpr double kGroundHalfSize = 5.0;  // the ground is a square, so depth stays bounded
const float kGroundLight[3] = {0.3f, 0.55f, 0.55f};
const float kGroundDark[3] = {0.2f, 0.37f, 0.37f};
constexpr double kCheckerSize = 1.0;

const Vec kEye = {0.8, 3.0, 8.0};
const Vec kTarget = {0.0, 0.6, 0.0};
const Vec kWorldUp = {0.0, 1.0, 0.0};
const Vec kToLight = normalize({-0.6, 1.0, 0.7});

constexpr double kFocalLength = 0.035;  // same unit as the apertures
constexpr double kApertureX = 0.036;
constexpr double kApertureY = 0.024;
constexpr double kDpi = 72.0;

constexpr float kAmbient = 0.25f;
constexpr float kDiffuse = 0.75f;
// Material layer: shading never darkens a material's top component below
// this, which keeps it clear of the classifier's dark threshold (0.2).
constexpr float kMaterialMinShade = 0.35f;
constexpr double kShadowBias = 1e-6;
// Rendering threads at most: a many-core machine need not start one a core
// for a picture that takes seconds on one.
constexpr unsigned kMaxThreads = 8;

struct Hit {
    double t = std::numeric_limits<double>::infinity();
    int object = -1;
    Vec normal{0, 0, 0};
};

void intersect(Vec origin, Vec dir, Hit& hit)
{
    if (dir.y < 0.0) {
        const double t = -origin.y / dir.y;
        const Vec p = origin + dir * t;
        if (t > 0.0 && t < hit.t && std::fabs(p.x) <= kGroundHalfSize
            && std::fabs(p.z) <= kGroundHalfSize) {
            hit.t = t;
            hit.object = kGround;
            hit.normal = {0, 1, 0};
        }
    }
    for (std::size_t i = 0; i < std::size(kSpheres); ++i) {
        const Sphere& s = kSpheres[i];
        const Vec oc = origin - s.centre;
        const double b = dot(oc, dir);
        const double c = dot(oc, oc) - s.radius * s.radius;
        const double disc = b * b - c;
        if (disc < 0.0)
            continue;
        const double t = -b - std::sqrt(disc);
        if (t > 0.0 && t < hit.t) {
            hit.t = t;
            hit.object = static_cast<int>(i) + 1;
            hit.normal = normalize(origin + dir * t - s.centre);
        }
    }
}

}  // namespace

DemoRender renderDemo(unsigned width, unsigned height, const std::function<void(double)>& rowsDone)
{
    DemoRender demo;
    demo.objects.assign(std::begin(kObjects), std::end(kObjects));
    const std::size_t pixels = std::size_t(width) * height;
    demo.image.width = width;
    demo.image.height = height;
    demo.objectAt.assign(pixels, -1);

    const Vec back = normalize(kEye - kTarget);
    const Vec right = normalize(cross(kWorldUp, back));
    const Vec up = cross(back, right);

    CameraParameters& cam = demo.camera;
    cam = newCamera();
    cam.pos[0] = kEye.x;
    cam.pos[1] = kEye.y;
    cam.pos[2] = kEye.z;
    const Vec rows[3] = {right, up, back};
    for (int r = 0; r < 3; ++r) {
        cam.worldMatrix[3 * r + 0] = rows[r].x;
        cam.worldMatrix[3 * r + 1] = rows[r].y;
        cam.worldMatrix[3 * r + 2] = rows[r].z;
    }
    cam.focalLen = kFocalLength;
    cam.apertureX = kApertureX;
    cam.apertureY = kApertureY;
    cam.filmFit = "horizontal";
    cam.projType = fennick::contract::kPerspectiveWord;
    cam.dpi = kDpi;
    cam.pAspect = 1.0;

    // Horizontal film fit: the film's width is the aperture's, its height
    // follows the image's aspect.
    const double filmW = kApertureX;
    const double filmH = kApertureX * double(height) / double(width);

    RenderLayer colour{"RGBA", 4, std::vector<float>(pixels * 4)};
    RenderLayer depth{fennick::contract::kDepthLayerPrefix, 1, std::vector<float>(pixels, 0.0f)};
    RenderLayer material{fennick::contract::kMaterialLayerPrefix, 3,
                         std::vector<float>(pixels * 3, 0.0f)};
    colour.rgb = true;
    material.rgb = true;
    std::vector<double> distance(pixels, 0.0);

    // One row; returns its farthest hit (0 when nothing was hit). A row
    // writes only its own pixels, so rows can be rendered in any order and
    // on any thread with the same result.
    auto renderRow = [&](unsigned y) {
        double farthest = 0.0;
        for (unsigned x = 0; x < width; ++x) {
            const std::size_t i = std::size_t(y) * width + x;
            const double fx = ((x + 0.5) / width - 0.5) * filmW;
            const double fy = (0.5 - (y + 0.5) / height) * filmH;
            const Vec dir = normalize(right * fx + up * fy - back * kFocalLength);
            Hit hit;
            intersect(kEye, dir, hit);
            float* c = &colour.values[i * 4];
            c[3] = 1.0f;
            if (hit.object < 0) {
                // Sky: a gradient towards the horizon; no depth, no material.
                const float s = static_cast<float>(std::clamp(dir.y * 2.0 + 0.3, 0.0, 1.0));
                c[0] = 0.75f - 0.35f * s;
                c[1] = 0.82f - 0.25f * s;
                c[2] = 0.92f - 0.05f * s;
                continue;
            }
            demo.objectAt[i] = hit.object;
            const Vec p = kEye + dir * hit.t;
            Hit shadow;
            intersect(p + hit.normal * kShadowBias, kToLight, shadow);
            const double lambert = std::max(0.0, dot(hit.normal, kToLight));
            const float shade
                = kAmbient + kDiffuse * static_cast<float>(shadow.object < 0 ? lambert : 0.0);
            const float* albedo;
            if (hit.object == kGround) {
                const long cx = static_cast<long>(std::floor(p.x / kCheckerSize));
                const long cz = static_cast<long>(std::floor(p.z / kCheckerSize));
                albedo = ((cx + cz) & 1) ? kGroundDark : kGroundLight;
            } else {
                albedo = kSpheres[hit.object - 1].albedo;
            }
            const float* m = kObjects[hit.object].material;
            const float mshade = std::max(shade, kMaterialMinShade);
            for (int k = 0; k < 3; ++k) {
                c[k] = albedo[k] * shade;
                material.values[i * 3 + k] = m[k] * mshade;
            }
            distance[i] = hit.t;
            farthest = std::max(farthest, hit.t);
        }
        return farthest;
    };

    // Each thread takes every n-th row, so that all get a fair share of sky
    // and spheres; the calling thread reports the progress of all.
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
    std::vector<double> farthestOf(threads, 0.0);
    std::atomic<unsigned> rowsRendered{0};
    auto renderShare = [&](unsigned t) {
        for (unsigned y = t; y < height; y += threads) {
            farthestOf[t] = std::max(farthestOf[t], renderRow(y));
            const unsigned done = rowsRendered.fetch_add(1, std::memory_order_relaxed) + 1;
            if (t == 0 && rowsDone)
                rowsDone(double(done) / height);
        }
    };
    {
        std::vector<std::thread> helpers;
        struct Join {
            std::vector<std::thread>& helpers;
            ~Join()
            {
                for (std::thread& h : helpers)
                    h.join();
            }
        } join{helpers};
        for (unsigned t = 1; t < threads; ++t)
            helpers.emplace_back(renderShare, t);
        renderShare(0);
    }
    if (rowsDone)
        rowsDone(1.0);
    const double farthest = *std::max_element(farthestOf.begin(), farthestOf.end());

    cam.depthMax = farthest > 0.0 ? farthest * kDepthMargin : 1.0;
    for (std::size_t i = 0; i < pixels; ++i)
        if (demo.objectAt[i] >= 0)
            depth.values[i] = static_cast<float>(1.0 - distance[i] / cam.depthMax);

    demo.image.layers.push_back(std::move(colour));
    demo.image.layers.push_back(std::move(depth));
    demo.image.layers.push_back(std::move(material));
    return demo;
}

}  // namespace tool
}  // namespace fennick
