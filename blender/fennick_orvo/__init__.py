"""Save Blender renders as Orvo files (.ovq): the colour picture, the distance
of every pixel, material tags and the camera, for painting into the render
with perspective. The add-on renders and hands the render to the `orvo`
tool, which does every conversion."""

bl_info = {
    "name": "Orvo (.ovq)",
    "author": "fennick",
    "version": (0, 1, 0),
    "blender": (3, 4, 0),
    "location": "File > Export > Orvo (.ovq)",
    "description": "Render the active camera's view and save it as an Orvo file with "
                   "depth, material tags and the camera",
    "category": "Import-Export",
}

if "bpy" in locals():
    # Reloading the add-on (F3 > Reload Scripts) reloads its modules too.
    import importlib
    camera = importlib.reload(camera)
    render = importlib.reload(render)
    tool = importlib.reload(tool)
    export = importlib.reload(export)

import bpy
from bpy.props import StringProperty

from . import camera, export, render, tool


class OrvoPreferences(bpy.types.AddonPreferences):
    bl_idname = __package__

    orvo_path: StringProperty(
        name="orvo tool",
        description="The orvo program to save with; empty: the ORVO environment variable, "
                    "else orvo on PATH",
        subtype='FILE_PATH')

    def draw(self, context):
        self.layout.prop(self, "orvo_path")


_classes = (OrvoPreferences, export.EXPORT_SCENE_OT_orvo)


def register():
    for cls in _classes:
        bpy.utils.register_class(cls)
    bpy.types.TOPBAR_MT_file_export.append(export.menu_entry)


def unregister():
    bpy.types.TOPBAR_MT_file_export.remove(export.menu_entry)
    for cls in reversed(_classes):
        bpy.utils.unregister_class(cls)
