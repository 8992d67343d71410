"""File > Export > Orvo (.ovq): render the active camera's view and save it
through `orvo save`."""

import os
import re
import tempfile

import bpy
from bpy.props import BoolProperty, FloatProperty, StringProperty
from bpy_extras.io_utils import ExportHelper

from . import camera, render, tool

# The engines that render a Cryptomatte material pass, the material tags'
# source.
ENGINES = {'CYCLES', 'BLENDER_EEVEE', 'BLENDER_EEVEE_NEXT'}

# The last run of # in a file name stands for the frame number.
_FRAME_MARK = re.compile(r"#+(?=[^#]*$)")


def frame_path(path, frame, animation):
    """The file of one frame. A run of # in the file name becomes the frame
    number, zero-padded to the run's length; without one, a frame of an
    animation gets four digits before the extension, as Blender's own
    render output does (shot.ovq -> shot0001.ovq)."""
    folder, name = os.path.split(path)
    if "#" in name:
        name = _FRAME_MARK.sub(lambda m: "%0*d" % (len(m.group(0)), frame), name)
    elif animation:
        stem, ext = os.path.splitext(name)
        name = "%s%04d%s" % (stem, frame, ext)
    return os.path.join(folder, name)


def _tool_preference(context):
    addon = context.preferences.addons.get(__package__)
    if addon is None or addon.preferences is None:
        return ""
    return bpy.path.abspath(addon.preferences.orvo_path)


class EXPORT_SCENE_OT_orvo(bpy.types.Operator, ExportHelper):
    """Render the active camera's view and save it as an Orvo file, with its
    depth, material tags and camera"""

    bl_idname = "export_scene.orvo"
    bl_label = "Export Orvo"
    bl_options = {'REGISTER'}

    filename_ext = ".ovq"
    filter_glob: StringProperty(default="*.ovq", options={'HIDDEN'})

    animation: BoolProperty(
        name="Animation",
        description="Save every frame of the scene's frame range; a run of # in the file "
                    "name becomes the frame number",
        default=False)
    depth_max: FloatProperty(
        name="Depth Range",
        description="The farthest distance the depth picture holds; 0 takes the farthest "
                    "point seen times 1.25",
        min=0.0, default=0.0, subtype='DISTANCE')

    def _report_run(self, run):
        for kind, line in run.lines:
            self.report({kind}, line)

    def _frames(self, scene):
        if self.animation:
            return list(range(scene.frame_start, scene.frame_end + 1, scene.frame_step))
        return [scene.frame_current]

    def _check(self, scene, frames):
        """Why the export cannot be done, before anything is rendered."""
        if scene.render.engine not in ENGINES:
            return ("the scene renders with %s; an Orvo export renders with Cycles or Eevee, "
                    "whose Cryptomatte pass gives the material tags" % scene.render.engine)
        if len(frames) == 0:
            return "the scene's frame range is empty"
        if not self.animation:
            return camera.refusal(scene)
        # A camera may change along the animation (its lens shift, or the
        # active camera itself by markers): each frame is checked before the
        # first is rendered, so that a long job does not fail halfway.
        for frame in frames:
            scene.frame_set(frame)
            problem = camera.refusal(scene)
            if problem:
                return "frame %d: %s" % (frame, problem)
        return None

    def _save_frame(self, scene, orvo, target):
        """Render the current frame and save it at target; True when saved."""
        try:
            result = render.render_frame(scene)
        except RuntimeError as e:
            self.report({'ERROR'}, "Orvo export: render failed: %s" % e)
            return False
        with tempfile.TemporaryDirectory(prefix="orvo-export-") as folder:
            exr = os.path.join(folder, "render.exr")
            tga = os.path.join(folder, "colour.tga")
            params = os.path.join(folder, "camera.param.txt")
            try:
                render.write_files(scene, result, exr, tga)
            except RuntimeError as e:
                self.report({'ERROR'}, "Orvo export: cannot write the render: %s" % e)
                return False

            # The parameter file needs a depth range; the save's --depth-max
            # replaces it.
            run = tool.run(orvo, "params", [params] + camera.params_arguments(scene, 1.0))
            self._report_run(run)
            if not run.ok:
                self.report({'ERROR'}, run.failure())
                return False

            # The depth range: the user's, else the farthest hit of the depth
            # pass.
            depth_max = repr(float(self.depth_max)) if self.depth_max > 0.0 else "far"
            run = tool.run(orvo, "save", [
                "--params=" + params, "--depth=Z", "--depth-max=" + depth_max,
                "--materials=CryptoMaterial", "--rgb=" + tga, "--", exr, target])
            self._report_run(run)
            if not run.ok:
                self.report({'ERROR'}, run.failure())
                return False
        return True

    def execute(self, context):
        scene = context.scene
        if not self.filepath:
            self.report({'ERROR'}, "Orvo export: no file name given")
            return {'CANCELLED'}
        path = bpy.path.abspath(self.filepath)
        frames = self._frames(scene)
        frame_before = scene.frame_current
        subframe_before = scene.frame_subframe

        settings = render.Settings()
        saved = []
        try:
            problem = self._check(scene, frames)
            if problem:
                self.report({'ERROR'}, "Orvo export: " + problem)
                return {'CANCELLED'}
            try:
                orvo = tool.find_tool(_tool_preference(context))
            except tool.ToolNotFound as e:
                self.report({'ERROR'}, "Orvo export: %s" % e)
                return {'CANCELLED'}

            render.prepare(scene, context.view_layer, settings)
            for frame in frames:
                if scene.frame_current != frame:
                    scene.frame_set(frame)
                target = frame_path(path, frame, self.animation)
                # Blender's render output makes its folders; a save into a new
                # folder of a farm job should work the same.
                os.makedirs(os.path.dirname(target) or ".", exist_ok=True)
                if not self._save_frame(scene, orvo, target):
                    if saved:
                        self.report({'WARNING'}, "Orvo export: saved %d of %d frames before the "
                                    "failure" % (len(saved), len(frames)))
                    return {'CANCELLED'}
                saved.append(target)
        finally:
            for problem in settings.restore():
                self.report({'WARNING'}, "Orvo export: could not put back %s" % problem)
            if (scene.frame_current, scene.frame_subframe) != (frame_before, subframe_before):
                scene.frame_set(frame_before, subframe=subframe_before)

        if len(saved) > 1:
            self.report({'INFO'}, "Orvo export: saved %d files, %s .. %s"
                        % (len(saved), saved[0], saved[-1]))
        return {'FINISHED'}

    def draw(self, context):
        layout = self.layout
        layout.use_property_split = True
        layout.prop(self, "animation")
        layout.prop(self, "depth_max")


def menu_entry(self, context):
    self.layout.operator(EXPORT_SCENE_OT_orvo.bl_idname, text="Orvo (.ovq)")
