#include "orvo/camera/RenderCamera.h"

#include "orvo/camera/CameraAxes.h"
#include "orvo/support/ToolError.h"

#include <cmath>
#include <limits>
#include <utility>

namespace fennick {
namespace tool {

namespace {

// A frame whose vertical scale differs by more than this share is warned of.
constexpr double kAspectTolerance = 1e-3;
constexpr double kMillimetresPerMetre = 1000;
constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180;

double at(const Matrix44& m, int r, int c) { return m[std::size_t(r * 4 + c)]; }

Matrix44 multiply(const Matrix44& a, const Matrix44& b)
{
    Matrix44 out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            double s = 0;
            for (int k = 0; k < 4; ++k)
                s += at(a, r, k) * at(b, k, c);
            out[std::size_t(r * 4 + c)] = s;
        }
    return out;
}

// Gauss-Jordan with partial pivoting; false when the matrix is singular.
bool invert(const Matrix44& m, Matrix44& inverse)
{
    double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 8; ++c)
            a[r][c] = c < 4 ? at(m, r, c) : (c - 4 == r ? 1.0 : 0.0);
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        if (std::fabs(a[pivot][col]) < std::numeric_limits<double>::min())
            return false;
        for (int c = 0; c < 8; ++c)
            std::swap(a[col][c], a[pivot][c]);
        const double p = a[col][col];
        for (int c = 0; c < 8; ++c)
            a[col][c] /= p;
        for (int r = 0; r < 4; ++r) {
            if (r == col)
                continue;
            const double f = a[r][col];
            for (int c = 0; c < 8; ++c)
                a[r][c] -= f * a[col][c];
        }
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            inverse[std::size_t(r * 4 + c)] = a[r][c + 4];
    return true;
}

// Sine and cosine of an angle in degrees, exact at multiples of 90: a
// quarter turn gives 0 and 1, not the rounding noise of pi / 2 in radians
// (cos(pi / 2) is 6.1e-17), so that a camera turned by quarter turns has a
// matrix of 0s and 1s. The angle is reduced to within 45 degrees of a
// multiple of 90 first, and both steps of that are exact: remainder()
// always is, and the difference of the turn and its nearest multiple of 90
// is of two numbers within a factor of 2 of each other.
void sinCosDegrees(double degrees, double& s, double& c)
{
    constexpr double kFullTurn = 360;
    constexpr double kQuarterTurn = 90;
    constexpr int kQuarters = 4;
    if (!std::isfinite(degrees)) {
        s = c = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    const double turn = std::remainder(degrees, kFullTurn);  // -180 .. 180
    const double quarters = std::nearbyint(turn / kQuarterTurn);
    const double rest = (turn - quarters * kQuarterTurn) * kRadiansPerDegree;
    const double sr = std::sin(rest), cr = std::cos(rest);
    switch ((static_cast<int>(quarters) + kQuarters) % kQuarters) {
    case 0:
        s = sr;
        c = cr;
        break;
    case 1:
        s = cr;
        c = -sr;
        break;
    case 2:
        s = -sr;
        c = -cr;
        break;
    default:
        s = -cr;
        c = sr;
        break;
    }
}

bool isPlanarHit(float z) { return std::isfinite(z) && z > 0.0f && z < kBackgroundDistance; }

}  // namespace

CameraParameters cameraFromExr(const std::string& path, const ExrCamera& cam, unsigned width,
                               unsigned height, std::vector<std::string>& warnings)
{
    auto refuse = [&](const std::string& why) {
        return ToolError(path + ": the render's camera cannot be used: " + why
                         + "; give the camera with --params FILE");
    };
    if (!cam.worldToNdc)
        throw refuse("it has worldToCamera but no worldToNDC, which holds the lens");
    Matrix44 cameraToWorld{};
    if (!invert(cam.worldToCamera, cameraToWorld))
        throw refuse("worldToCamera cannot be inverted");

    CameraParameters c = newCamera();
    double axes[3][3];
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k)
            axes[r][k] = at(cameraToWorld, r, k);
    const double* const rows[3] = {axes[0], axes[1], axes[2]};
    const char* const names[3] = {"the right axis", "the up axis", "the viewing axis"};
    const std::string fault = axesFault(rows, names);
    if (!fault.empty())
        throw refuse("worldToCamera scales or shears: " + fault);
    // Camera space is left-handed (x right, y up, z the viewing direction);
    // the parameter file's rows are right, up and back.
    for (int k = 0; k < 3; ++k) {
        c.worldMatrix[k] = axes[0][k];
        c.worldMatrix[3 + k] = axes[1][k];
        c.worldMatrix[6 + k] = -axes[2][k];
        c.pos[k] = at(cameraToWorld, 3, k);
    }

    // Camera space to NDC: x_ndc = (sx x + cx z) / z, y_ndc = (-sy y + cy z) / z.
    const Matrix44 toNdc = multiply(cameraToWorld, *cam.worldToNdc);
    const double w = at(toNdc, 2, 3);
    const double scale = std::fabs(at(toNdc, 0, 0)) + std::fabs(at(toNdc, 1, 1));
    if (std::fabs(w) <= kMatrixTolerance * scale
        || std::fabs(at(toNdc, 3, 3)) > kMatrixTolerance * scale)
        throw refuse("it is not a perspective camera");
    if (std::fabs(at(toNdc, 0, 3)) > kMatrixTolerance * scale
        || std::fabs(at(toNdc, 1, 3)) > kMatrixTolerance * scale
        || std::fabs(at(toNdc, 1, 0)) > kMatrixTolerance * scale
        || std::fabs(at(toNdc, 0, 1)) > kMatrixTolerance * scale)
        throw refuse("its projection is skewed");
    const double sx = at(toNdc, 0, 0) / w;
    const double sy = -at(toNdc, 1, 1) / w;
    const double cx = at(toNdc, 2, 0) / w;
    const double cy = at(toNdc, 2, 1) / w;
    if (!(sx > 0) || !(sy > 0))
        throw refuse("its picture is mirrored");
    if (std::fabs(cx - 0.5) > kMatrixTolerance || std::fabs(cy - 0.5) > kMatrixTolerance)
        throw refuse("its frame is off the camera's axis, and the saver centres the film");

    c.pAspect = cam.pixelAspectRatio > 0 ? cam.pixelAspectRatio : 1.0;
    const double aspect = double(width) * c.pAspect / double(height);
    c.apertureX = kDerivedFilmWidth;
    c.apertureY = kDerivedFilmWidth / aspect;
    c.focalLen = sx * kDerivedFilmWidth;
    c.filmFit = "horizontal";
    c.projType = fennick::contract::kPerspectiveWord;
    c.dpi = kDefaultDpi;
    const double expectedSy = sx * aspect;
    if (std::fabs(sy - expectedSy) > kAspectTolerance * expectedSy)
        warnings.push_back(path + ": the render's camera scales the picture's height "
                           + std::to_string(sy / expectedSy)
                           + " times as much as its width and pixel aspect say; the frame follows "
                             "the width");
    return c;
}

ExrCamera exrCameraFrom(const std::string& path, const CameraParameters& c, unsigned width,
                        unsigned height)
{
    // Camera space to world: rows right, up, the viewing direction (minus
    // the parameter file's back row), and the position.
    Matrix44 cameraToWorld{};
    for (int k = 0; k < 3; ++k) {
        cameraToWorld[std::size_t(k)] = c.worldMatrix[k];
        cameraToWorld[std::size_t(4 + k)] = c.worldMatrix[3 + k];
        cameraToWorld[std::size_t(8 + k)] = -c.worldMatrix[6 + k];
        cameraToWorld[std::size_t(12 + k)] = c.pos[k];
    }
    cameraToWorld[15] = 1;
    ExrCamera exr;
    if (!invert(cameraToWorld, exr.worldToCamera))
        throw ToolError(path
                        + ": the camera's axes are not independent, so no worldToCamera "
                          "can be made of them");
    exr.pixelAspectRatio = c.pAspect;
    if (c.projType != fennick::contract::kPerspectiveWord)
        return exr;
    const fennick::contract::FilmSize film = fennick::contract::filmSize(c, width, height);
    constexpr double kCentre = 0.5;
    Matrix44 toNdc{};
    toNdc[0] = c.focalLen / film.width;
    toNdc[5] = -c.focalLen / film.height;
    toNdc[8] = kCentre;
    toNdc[9] = kCentre;
    toNdc[11] = 1;  // w = z
    toNdc[14] = 1;  // z_ndc = 1 / z
    exr.worldToNdc = multiply(exr.worldToCamera, toNdc);
    return exr;
}

CameraParameters cameraFromUser(const UserCamera& u)
{
    CameraParameters c = newCamera();
    for (int k = 0; k < 3; ++k)
        c.pos[k] = u.position[k];
    // Rotations about X, then Y, then Z: R = Rz Ry Rx acting on column
    // vectors. The matrix's rows are the images of the camera's right, up
    // and back directions, that is R's columns.
    double sxr, cxr, syr, cyr, szr, czr;
    sinCosDegrees(u.rotation[0], sxr, cxr);
    sinCosDegrees(u.rotation[1], syr, cyr);
    sinCosDegrees(u.rotation[2], szr, czr);
    const double r[3][3] = {
        {czr * cyr, czr * syr * sxr - szr * cxr, czr * syr * cxr + szr * sxr},
        {szr * cyr, szr * syr * sxr + czr * cxr, szr * syr * cxr - czr * sxr},
        {-syr, cyr * sxr, cyr * cxr},
    };
    for (int row = 0; row < 3; ++row)
        for (int k = 0; k < 3; ++k)
            c.worldMatrix[row * 3 + k] = r[k][row];
    c.focalLen = u.focalLengthMm / kMillimetresPerMetre;
    c.apertureX = u.filmWidthMm / kMillimetresPerMetre;
    c.apertureY = u.filmHeightMm / kMillimetresPerMetre;
    c.filmFit = u.filmFit;
    c.projType = u.projection;
    c.depthMax = u.depthMax;
    c.dpi = u.dpi;
    c.pAspect = u.pixelAspect;
    if (u.zUp)
        convertFromZUp(c);
    return c;
}

void convertFromZUp(CameraParameters& c)
{
    const auto carry = [](double* v) {
        const double y = v[1];
        v[1] = v[2];
        v[2] = -y;
    };
    carry(c.pos);
    for (int row = 0; row < 3; ++row)
        carry(c.worldMatrix + row * 3);
}

RayLengths::RayLengths(const CameraParameters& c, unsigned width, unsigned height)
    : perspective_(c.projType == fennick::contract::kPerspectiveWord), focalLen_(c.focalLen),
      width_(width), height_(height)
{
    if (perspective_) {
        const fennick::contract::FilmSize film = fennick::contract::filmSize(c, width, height);
        filmWidth_ = film.width;
        filmHeight_ = film.height;
    }
}

double RayLengths::operator()(unsigned x, unsigned y) const
{
    if (!perspective_)
        return 1.0;
    const double u = ((x + 0.5) / width_ - 0.5) * filmWidth_ / focalLen_;
    const double v = (0.5 - (y + 0.5) / height_) * filmHeight_ / focalLen_;
    return std::sqrt(1 + u * u + v * v);
}

double rayLengthPerDepth(const CameraParameters& c, unsigned width, unsigned height, unsigned x,
                         unsigned y)
{
    return RayLengths(c, width, height)(x, y);
}

double farthestHit(const std::vector<float>& planar, const CameraParameters& c, unsigned width,
                   unsigned height)
{
    const RayLengths rayLength(c, width, height);
    double farthest = 0;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            const float z = planar[std::size_t(y) * width + x];
            if (isPlanarHit(z))
                farthest = std::max(farthest, z * rayLength(x, y));
        }
    return farthest;
}

DepthLayer depthFromPlanar(std::vector<float> planar, const CameraParameters& c, unsigned width,
                           unsigned height)
{
    const RayLengths rayLength(c, width, height);
    DepthLayer d;
    d.values = std::move(planar);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            float& sample = d.values[std::size_t(y) * width + x];
            const float z = sample;
            sample = 0.0f;
            if (!isPlanarHit(z)) {
                ++d.background;
                continue;
            }
            const double distance = z * rayLength(x, y);
            const float v = static_cast<float>(1.0 - distance / c.depthMax);
            if (!(v > 0.0f)) {
                ++d.beyond;
                continue;
            }
            sample = v;
            ++d.hits;
        }
    return d;
}

std::uint64_t samplesOutsideConvention(const std::vector<float>& values, unsigned stride)
{
    std::uint64_t n = 0;
    for (std::size_t i = 0; i < values.size(); i += stride)
        if (!(values[i] >= 0.0f && values[i] <= 1.0f))
            ++n;
    return n;
}

}  // namespace tool
}  // namespace fennick
