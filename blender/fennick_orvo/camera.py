"""What `orvo params` needs to know of Blender's camera.

Blender's world has Z up and so does this description (`--up z`); the tool
carries it into the host's world and millimetres into metres. Only the
choice of film back and fit is made here, because only Blender knows how
its sensor fit frames a picture.
"""

import math


def refusal(scene):
    """Why the scene's camera cannot be saved, or None. An Orvo file holds a
    perspective camera whose frame is centred on its axis, so anything else
    would be saved with a camera that does not match the picture."""
    obj = scene.camera
    if obj is None:
        return "the scene has no active camera"
    if obj.type != 'CAMERA':
        return "the active camera \"%s\" is not a camera object" % obj.name
    cam = obj.data
    if cam.type == 'ORTHO':
        return ("the camera \"%s\" is orthographic; an Orvo file holds a perspective "
                "camera" % obj.name)
    if cam.type == 'PANO':
        return ("the camera \"%s\" is panoramic; an Orvo file holds a perspective "
                "camera" % obj.name)
    if cam.shift_x != 0.0 or cam.shift_y != 0.0:
        return ("the camera \"%s\" has a lens shift (%g, %g); an Orvo file's frame is "
                "centred on the camera's axis" % (obj.name, cam.shift_x, cam.shift_y))
    if obj.matrix_world.to_3x3().determinant() < 0.0:
        return ("the camera \"%s\" is mirrored (a negative scale); an Orvo file's camera "
                "cannot be" % obj.name)
    return None


def picture_size(render):
    """The rendered picture's size, as Blender computes it."""
    return (render.resolution_x * render.resolution_percentage // 100,
            render.resolution_y * render.resolution_percentage // 100)


def film(scene, cam):
    """Film back (width, height) in mm and fit, chosen so that the tool's
    frame spans the same angles as Blender's: the side Blender's sensor fit
    spans gets the sensor's size, the other side follows the picture's
    shape (pixel aspect included, as Blender reckons it)."""
    render = scene.render
    width, height = picture_size(render)
    across = width * render.pixel_aspect_x
    down = height * render.pixel_aspect_y
    if cam.sensor_fit == 'AUTO':
        horizontal = across >= down
        sensor = cam.sensor_width
    elif cam.sensor_fit == 'HORIZONTAL':
        horizontal = True
        sensor = cam.sensor_width
    else:
        horizontal = False
        sensor = cam.sensor_height
    shape = across / down
    if horizontal:
        return (sensor, sensor / shape), "horizontal"
    return (sensor * shape, sensor), "vertical"


def _numbers(values):
    return ",".join(repr(float(v)) for v in values)


def params_arguments(scene, depth_max):
    """The arguments of `orvo params` for the scene's camera at the current
    frame: position and rotation from the camera's world matrix with its
    scale taken out (as Blender's renderer does), about the world axes X,
    then Y, then Z."""
    obj = scene.camera
    cam = obj.data
    matrix = obj.matrix_world
    rotation = matrix.to_3x3().normalized().to_euler('XYZ')
    (film_w, film_h), fit = film(scene, cam)
    render = scene.render
    # Each value joined to its option, so that a negative number is never
    # taken for an option of its own.
    return [
        "--up=z",
        "--position=" + _numbers(matrix.translation),
        "--rotation=" + _numbers(math.degrees(a) for a in rotation),
        "--focal-length=%r" % float(cam.lens),
        "--film-back=%rx%r" % (float(film_w), float(film_h)),
        "--film-fit=" + fit,
        "--pixel-aspect=%r" % (render.pixel_aspect_x / render.pixel_aspect_y),
        "--depth-max=%r" % float(depth_max),
    ]
