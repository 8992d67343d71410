// An Orvo file's planar camera record in the parameter file's terms: the
// inverse of what the saver makes of a parameter file, so that the camera
// can be handed on (`orvo export` writes it as OpenEXR's attributes) and a
// save with it gives the record again.
#pragma once

#include "orvo/camera/ParamFile.h"
#include "avkorvo/OrvoReader.h"

#include <string>

namespace fennick {
namespace tool {

// The record's world is Z up (convertFromZUp carries it into the host's);
// its axes are right, up and the viewing direction. The lens: a perspective
// camera's frame corners lie on the film at the focal length, and become
// that film fitted horizontally; another planar camera's hold the film over
// the focal length twice over, and become a film on a focal length of 1.
// The pixel aspect is the frame's width a pixel over its height a pixel, and
// depthMax the far distance over kFarDistanceFactor. Throws ToolError
// naming `path` for a panoramic camera or corners that span no frame.
CameraParameters cameraFromOrvo(const std::string& path, const Talvenrock::Orvo::Camera& camera,
                                unsigned width, unsigned height);

}  // namespace tool
}  // namespace fennick
