"""The export's own render and the two files `orvo save` reads from it.

Every setting changed here is one the save needs for its own render: the
depth and material passes, one view layer, the whole frame. Each is kept
before it changes and put back afterwards, so the user's scene is the same
after an export as before it.
"""

import bpy


class Settings:
    """Values of settings taken before they are changed, put back in the
    order they were taken (an image format before its colour depth, whose
    choices depend on the format)."""

    def __init__(self):
        self._kept = []

    def keep(self, owner, *names):
        for name in names:
            self._kept.append((owner, name, getattr(owner, name)))

    def restore(self):
        problems = []
        for owner, name, value in self._kept:
            try:
                if getattr(owner, name) != value:
                    setattr(owner, name, value)
            except (AttributeError, TypeError, ValueError) as e:
                problems.append("%s: %s" % (name, e))
        self._kept = []
        return problems


def prepare(scene, view_layer, settings):
    """Keep, then change, what the export's renders need."""
    render = scene.render
    # The image settings are changed only while the two files are written,
    # but kept here, before anything changes, so that a format's own
    # adjustments (Blender fits the colour depth to each format) are undone
    # too.
    settings.keep(render.image_settings, "file_format", "color_mode", "color_depth", "exr_codec")
    settings.keep(render, "use_single_layer", "use_border", "use_multiview")
    settings.keep(view_layer, "use_pass_z", "use_pass_cryptomatte_material")
    if render.engine == 'CYCLES':
        settings.keep(view_layer, "use_pass_material_index")

    # One view layer, so that the render holds one depth and one material
    # channel of each name; the whole frame and one view, which is what the
    # saved camera describes.
    render.use_single_layer = True
    render.use_border = False
    render.use_multiview = False
    view_layer.use_pass_z = True
    view_layer.use_pass_cryptomatte_material = True
    if render.engine == 'CYCLES':
        view_layer.use_pass_material_index = True


def _render_result():
    for image in bpy.data.images:
        if image.type == 'RENDER_RESULT':
            return image
    return None


def render_frame(scene):
    """Render the scene's current frame; the render result, or raise
    RuntimeError with Blender's message."""
    outcome = bpy.ops.render.render(scene=scene.name)
    result = _render_result()
    if 'FINISHED' not in outcome or result is None:
        raise RuntimeError("the render did not finish")
    return result


def write_files(scene, result, exr_path, tga_path):
    """The render with all its passes as a multilayer OpenEXR (32-bit float,
    lossless), and the colour picture as an uncompressed 32-bit TGA, which
    Blender writes through the scene's view transform and look as for any
    picture for display."""
    settings = scene.render.image_settings
    settings.file_format = 'OPEN_EXR_MULTILAYER'
    settings.color_depth = '32'
    settings.exr_codec = 'ZIP'
    result.save_render(exr_path, scene=scene)
    settings.file_format = 'TARGA_RAW'
    settings.color_mode = 'RGBA'
    result.save_render(tga_path, scene=scene)
