"""The Orvo export add-on (blender/fennick_orvo), tested inside Blender:

    ORVO=build/bin/orvo blender -b --factory-startup --python-exit-code 1 \\
        --python tests/blender/addon_test.py -- ADDON_FOLDER WORK_FOLDER [TEST ...]

ADDON_FOLDER holds fennick_orvo; the plug-in lies beside the tool. Every
check compares the saved file, read byte by byte (tifffile) and through
`orvo info --json`, with Blender's own numbers: the camera's matrices, rays
cast into the scene, its own rendered PNG and the passes of its own render.

The scenes render from each pixel's centre (Cycles' pixel filter and
Eevee's filter size at their smallest): Cycles writes depth and material
index from one sample of a pixel, which a ray cast through the pixel's
centre then sees exactly.
"""

import contextlib
import glob
import io
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import traceback

import bpy
import addon_utils
import numpy as np
import tifffile
from bpy_extras.object_utils import world_to_camera_view
from mathutils import Euler, Vector
from PIL import Image

ARGS = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
if len(ARGS) < 2:
    raise SystemExit("usage: blender -b --python addon_test.py -- ADDON_FOLDER WORK_FOLDER [TEST ...]")
ADDON_FOLDER, WORK = os.path.abspath(ARGS[0]), os.path.abspath(ARGS[1])
ORVO = os.environ.get("ORVO", "")

# From the file's definition (README, "What an Orvo file is"): a depth code
# c below kNoDepth is the distance c / kDepthScale x farDistance, and
# farDistance is 1.5 x depthMax.
NO_DEPTH = 0xFFFFFFFF
DEPTH_SCALE = 4294967294.0
FAR_PER_DEPTH_MAX = 1.5

# name: (pass index, base colour)
MATERIALS = {
    "Ground": (1, (0.45, 0.45, 0.42)),
    "Red": (2, (0.8, 0.1, 0.08)),
    "Green": (3, (0.1, 0.6, 0.15)),
    "Blue": (4, (0.1, 0.2, 0.8)),
    "Yellow": (5, (0.85, 0.75, 0.1)),
}


# ---- the scene ---------------------------------------------------------------

def material(name):
    index, colour = MATERIALS[name]
    m = bpy.data.materials.new(name)
    m.use_nodes = True
    m.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = colour + (1.0,)
    m.pass_index = index
    return m


def build_scene(engine, width, height):
    """A ground plane, four objects of their own materials, a camera turned
    30 degrees about Z and looking 20 degrees down, a sun."""
    bpy.ops.wm.read_homefile(use_empty=True)
    scene = bpy.context.scene
    world = bpy.data.worlds.new("Sky")
    world.color = (0.3, 0.4, 0.55)
    scene.world = world

    def add(obj_op, name, mat, **kw):
        obj_op(**kw)
        obj = bpy.context.object
        obj.name = name
        obj.data.materials.append(material(mat))
        return obj

    add(bpy.ops.mesh.primitive_plane_add, "Ground", "Ground", size=14)
    add(bpy.ops.mesh.primitive_uv_sphere_add, "Ball", "Red", radius=0.8, location=(-2.2, 1.6, 0.8))
    add(bpy.ops.mesh.primitive_cube_add, "Crate", "Green", size=1.4, location=(1.4, 3.2, 0.7),
        rotation=(0, 0, math.radians(20)))
    add(bpy.ops.mesh.primitive_cylinder_add, "Drum", "Blue", radius=0.6, depth=1.2,
        location=(2.6, -0.4, 0.6))
    add(bpy.ops.mesh.primitive_cone_add, "Spire", "Yellow", radius1=0.7, depth=1.8,
        location=(-0.6, -1.4, 0.9))
    for obj in scene.objects:
        if obj.type == 'MESH' and obj.name != "Ground":
            bpy.context.view_layer.objects.active = obj
            bpy.ops.object.shade_smooth()

    sun = bpy.data.objects.new("Sun", bpy.data.lights.new("Sun", 'SUN'))
    sun.data.energy = 3.0
    sun.rotation_euler = Euler((math.radians(40), math.radians(15), math.radians(-30)), 'XYZ')
    scene.collection.objects.link(sun)

    cam = bpy.data.objects.new("Camera", bpy.data.cameras.new("Camera"))
    scene.collection.objects.link(cam)
    scene.camera = cam
    aim_camera(cam, Vector((0.2, 0.8, 0.6)), turn=30.0, down=20.0, distance=11.0)

    render = scene.render
    render.engine = engine
    render.resolution_x, render.resolution_y = width, height
    render.resolution_percentage = 100
    scene.cycles.device = 'CPU'
    scene.cycles.samples = 8
    scene.cycles.use_denoising = False
    scene.cycles.seed = 0
    scene.cycles.filter_width = 0.01
    scene.eevee.taa_render_samples = 4
    render.filter_size = 0.0
    return scene


def aim_camera(cam, target, turn, down, distance):
    cam.rotation_euler = Euler((math.radians(90.0 - down), 0.0, math.radians(turn)), 'XYZ')
    forward = cam.rotation_euler.to_matrix() @ Vector((0.0, 0.0, -1.0))
    cam.location = target - distance * forward


# ---- running the export --------------------------------------------------------

class Export:
    """One call of the operator: its result, its report lines, the error
    Blender raised for an ERROR report, and how many renders it made."""

    def __init__(self, **kw):
        self.renders = 0

        def count(*_):
            self.renders += 1
        bpy.app.handlers.render_pre.append(count)
        out = io.StringIO()
        self.error = None
        self.result = None
        try:
            with contextlib.redirect_stdout(out):
                self.result = bpy.ops.export_scene.orvo(**kw)
        except RuntimeError as e:
            self.error = str(e)
        finally:
            bpy.app.handlers.render_pre.remove(count)
        self.report = out.getvalue()
        sys.stdout.write(self.report)

    def succeeded(self):
        return self.error is None and self.result == {'FINISHED'}

    def materials(self):
        """tag: (name, pixels) from the tool's table lines in the report."""
        found = {}
        for m in re.finditer(r"^Info: Mat (\d+): (.*) \((\d+)(?: pixels?)?\)$", self.report, re.M):
            found[int(m.group(1))] = (m.group(2), int(m.group(3)))
        return found


def orvo_info(path):
    done = subprocess.run([ORVO, "info", "--json", path], capture_output=True, text=True)
    info = json.loads(done.stdout)
    assert done.returncode == 0 and info["valid"], "orvo info %s: %s" % (path, info["error"])
    return info


def read_pictures(path, info):
    """The colour picture, depth codes and material tags, as tifffile reads
    the file's directories."""
    pages = tifffile.TiffFile(path).pages
    pictures = {}
    for d in info["directories"]:
        pictures[d["channel"]] = pages[d["index"]].asarray()
    return pictures


def snapshot(struct, depth=0, seen=None):
    """Every setting of a Blender struct and of the structs it holds, by
    name, as plain values; IDs by name."""
    values = {}
    for prop in struct.bl_rna.properties:
        key = prop.identifier
        if key in ("rna_type", "depsgraph") or prop.type == 'COLLECTION':
            continue
        try:
            value = getattr(struct, key)
        except Exception:  # a property Blender cannot answer in the background
            continue
        if prop.type == 'POINTER':
            if value is None:
                values[key] = None
            elif isinstance(value, bpy.types.ID):
                values[key] = "ID:" + value.name
            elif depth < 3:
                values[key] = snapshot(value, depth + 1)
            continue
        if hasattr(value, "__len__") and not isinstance(value, str):
            value = tuple(tuple(v) if hasattr(v, "__len__") else v for v in value)
        values[key] = value
    return values


def scene_settings(scene):
    return {
        "scene": snapshot(scene),
        "view_layers": {vl.name: snapshot(vl) for vl in scene.view_layers},
        "camera": snapshot(scene.camera.data) if scene.camera else None,
    }


def differences(before, after, path=""):
    if isinstance(before, dict) and isinstance(after, dict):
        out = []
        for key in sorted(set(before) | set(after)):
            out += differences(before.get(key), after.get(key), path + "." + key)
        return out
    return [] if before == after else ["%s: %r -> %r" % (path, before, after)]


# ---- Blender's own numbers --------------------------------------------------------

def picture_size(scene):
    r = scene.render
    return r.resolution_x * r.resolution_percentage // 100, r.resolution_y * r.resolution_percentage // 100


def blender_fov(scene):
    """The frame's angles across and down, in degrees, from Blender's own
    projection matrix of the camera for this picture."""
    w, h = picture_size(scene)
    r = scene.render
    p = scene.camera.calc_matrix_camera(bpy.context.evaluated_depsgraph_get(), x=w, y=h,
                                        scale_x=r.pixel_aspect_x, scale_y=r.pixel_aspect_y)
    return math.degrees(2 * math.atan(1 / p[0][0])), math.degrees(2 * math.atan(1 / p[1][1]))


def pixel_ray(scene, col, row, dx=0.0, dy=0.0):
    """Origin and direction of the ray through the centre of pixel (col,
    row), row 0 at the top, from Blender's frame of the camera."""
    cam = scene.camera
    frame = cam.data.view_frame(scene=scene)
    xs, ys = [v.x for v in frame], [v.y for v in frame]
    w, h = picture_size(scene)
    x = min(xs) + (col + 0.5 + dx) / w * (max(xs) - min(xs))
    y = max(ys) - (row + 0.5 + dy) / h * (max(ys) - min(ys))
    rotation = cam.matrix_world.to_3x3().normalized()
    return cam.matrix_world.translation.copy(), (rotation @ Vector((x, y, frame[0].z))).normalized()


def cast(scene, col, row, dx=0.0, dy=0.0):
    origin, direction = pixel_ray(scene, col, row, dx, dy)
    hit, where, _normal, _index, obj, _m = scene.ray_cast(bpy.context.evaluated_depsgraph_get(),
                                                          origin, direction)
    return (obj.name, (where - origin).length) if hit else (None, None)


def seen_clearly(scene, col, row):
    """What the pixel's centre sees, when rays a quarter pixel around it all
    see the same (the renderer's sample position cannot matter there); else
    False."""
    name, distance = cast(scene, col, row)
    for dx, dy in ((-0.25, -0.25), (0.25, -0.25), (-0.25, 0.25), (0.25, 0.25)):
        if cast(scene, col, row, dx, dy)[0] != name:
            return False
    return name, distance


def probes(scene):
    """Pixels to compare: each object's centre, the picture's bottom corners
    and middle (the ground, where the ray is most oblique to the camera's
    axis) and its top corners (the sky)."""
    w, h = picture_size(scene)
    points = []
    for obj in scene.objects:
        if obj.type == 'MESH' and obj.name != "Ground":
            centre = sum((obj.matrix_world @ Vector(c) for c in obj.bound_box), Vector()) / 8
            v = world_to_camera_view(scene, scene.camera, centre)
            points.append((obj.name, int(v.x * w), int((1 - v.y) * h)))
    points += [("corner", 0, h - 1), ("corner", w - 1, h - 1), ("corner", w // 2, h - 1),
               ("corner", 0, 0), ("corner", w - 1, 0)]
    return points


def reference_render(scene, folder):
    """Blender's own render of the same frame: the PNG it writes, and its
    material index and first Cryptomatte rank, written by the compositor as
    float EXRs and read back (rows top first)."""
    os.makedirs(folder, exist_ok=True)
    vl = bpy.context.view_layer
    vl.use_pass_cryptomatte_material = True
    cycles = scene.render.engine == 'CYCLES'
    if cycles:
        vl.use_pass_material_index = True
    scene.use_nodes = True
    tree = scene.node_tree
    layers = tree.nodes["Render Layers"]
    out = tree.nodes.new("CompositorNodeOutputFile")
    out.base_path = folder
    out.format.file_format = 'OPEN_EXR'
    out.format.color_depth = '32'
    out.format.exr_codec = 'ZIP'
    out.format.color_mode = 'RGB'
    out.file_slots.clear()
    out.file_slots.new("crypto")
    tree.links.new(layers.outputs["CryptoMaterial00"], out.inputs["crypto"])
    if cycles:
        out.file_slots.new("index")
        tree.links.new(layers.outputs["IndexMA"], out.inputs["index"])
    scene.render.image_settings.file_format = 'PNG'
    scene.render.image_settings.color_mode = 'RGBA'
    scene.render.image_settings.color_depth = '8'
    scene.render.filepath = os.path.join(folder, "blender.png")
    bpy.ops.render.render(write_still=True)
    tree.nodes.remove(out)
    scene.use_nodes = False

    def channels(stem):
        path, = glob.glob(os.path.join(folder, stem + "*.exr"))
        image = bpy.data.images.load(path)
        image.colorspace_settings.name = 'Non-Color'
        w, h = image.size
        data = np.array(image.pixels[:], dtype=np.float32).reshape(h, w, 4)[::-1]
        bpy.data.images.remove(image)
        return data

    crypto = channels("crypto")
    ref = {"png": np.asarray(Image.open(scene.render.filepath).convert("RGBA")),
           "crypto_id": crypto[..., 0], "crypto_coverage": crypto[..., 1]}
    if cycles:
        ref["index"] = channels("index")[..., 0]
    return ref


# ---- the checks -------------------------------------------------------------------

def check_camera(scene, info, where):
    cam = info["camera"]
    assert cam["projection"] == "planar" and cam["kind"] == 0, "%s: not a perspective camera: %r" % (
        where, cam)
    m = scene.camera.matrix_world
    rotation = m.to_3x3().normalized()
    # The file's world has Z up, as Blender's: its axes are the camera's
    # right, up and viewing direction.
    expected = {"position": m.translation, "xAxis": rotation.col[0], "yAxis": rotation.col[1],
                "zAxis": -rotation.col[2]}
    for key, value in expected.items():
        err = max(abs(a - b) for a, b in zip(cam[key], value))
        assert err < 1e-5, "%s: camera %s %r, Blender's %r" % (where, key, cam[key], tuple(value))
    tl, br = cam["topLeft"], cam["bottomRight"]
    saved = (math.degrees(2 * math.atan((br[0] - tl[0]) / 2 / tl[2])),
             math.degrees(2 * math.atan((tl[1] - br[1]) / 2 / tl[2])))
    ours = blender_fov(scene)
    for axis, a, b in zip(("across", "down"), saved, ours):
        assert abs(a - b) < 1e-3, "%s: field of view %s %.6f degrees, Blender's %.6f" % (
            where, axis, a, b)


def depth_tolerance(scene):
    """How closely the saved distances can follow Blender's rays: Cycles
    writes its depth pass as 32-bit floats, Eevee as half floats, whose
    steps are 1/1024 of a distance (the pass truncates to them)."""
    return 1e-4 if scene.render.engine == 'CYCLES' else 2.0 ** -10


def check_depth(scene, info, pictures, where):
    """Distances at the probes against Blender's rays; returns the probes as
    (name seen, col, row)."""
    codes = pictures["depth"]
    tolerance = depth_tolerance(scene)
    far = info["camera"]["farDistance"]
    seen = []
    for label, col, row in probes(scene):
        clear = seen_clearly(scene, col, row)
        assert clear, "%s: probe %s at pixel (%d, %d) lies on an edge: the scene is not as " \
                      "the test means it" % (where, label, col, row)
        name, distance = clear
        code = int(codes[row, col])
        if name is None:
            assert code == NO_DEPTH, "%s: pixel (%d, %d) sees the sky but has depth code %d" % (
                where, col, row, code)
        else:
            assert code != NO_DEPTH, "%s: pixel (%d, %d) sees %s at %.4f but has no depth" % (
                where, col, row, name, distance)
            saved = code / DEPTH_SCALE * far
            assert abs(saved - distance) <= tolerance * distance, \
                "%s: pixel (%d, %d) on %s: saved distance %.6f, Blender's ray %.6f (%.2e)" % (
                    where, col, row, name, saved, distance, (saved - distance) / distance)
        seen.append((name, col, row))
    return seen


def check_materials(scene, export, pictures, ref, seen, where):
    tags = pictures["material"]
    table = export.materials()
    names = {n for n, _ in table.values()}
    assert names == set(MATERIALS), "%s: the report's materials %r, the scene's %r" % (
        where, sorted(names), sorted(MATERIALS))
    for tag, (name, count) in table.items():
        assert np.count_nonzero(tags == tag) == count, "%s: tag %d (%s): %d pixels in the file, " \
            "%d in the report" % (where, tag, name, np.count_nonzero(tags == tag), count)
    # One tag per material and one material per tag, pixel for pixel, by
    # the material Blender's own Cryptomatte ranks first at each pixel.
    ids, coverage = ref["crypto_id"], ref["crypto_coverage"]
    covered = coverage > 0
    assert np.all(tags[~covered] == 0), "%s: %d pixels without a material have a tag" % (
        where, np.count_nonzero(tags[~covered]))
    tag_of_id = {}
    for cid in np.unique(ids[covered]):
        these = tags[covered & (ids == cid)]
        found = np.unique(these)
        assert len(found) == 1 and found[0] != 0, \
            "%s: the pixels of one Cryptomatte ID have tags %r" % (where, found.tolist())
        tag_of_id[float(cid)] = int(found[0])
    assert len(set(tag_of_id.values())) == len(tag_of_id) == len(MATERIALS), \
        "%s: Cryptomatte IDs to tags %r" % (where, tag_of_id)
    # Each tag is named for the material Blender sees there: the object a ray
    # through a probe hits, and the material index inside each material's
    # area.
    for name, col, row in seen:
        if name is not None:
            expected = scene.objects[name].active_material.name
            got = table[int(tags[row, col])][0]
            assert got == expected, "%s: pixel (%d, %d) on %s has the tag of %s, not %s" % (
                where, col, row, name, got, expected)
    if "index" in ref:
        index = np.rint(ref["index"]).astype(int)
        inner = interior(index)
        by_index = {i: n for n, (i, _c) in MATERIALS.items()}
        for tag, (name, _count) in table.items():
            wrong = inner & (index > 0) & (tags == tag) & (index != MATERIALS[name][0])
            assert not wrong.any(), "%s: %d pixels of tag %d (%s) have the material index of %r" % (
                where, np.count_nonzero(wrong), tag, name,
                sorted({by_index.get(i, i) for i in index[wrong].tolist()}))
        assert np.count_nonzero(inner & (index > 0)) > 0.5 * index.size, \
            "%s: the material index pass is nearly empty" % where


def interior(index):
    """The pixels whose eight neighbours have their material index."""
    h, w = index.shape
    core = index[1:-1, 1:-1]
    same = np.ones(core.shape, dtype=bool)
    for dy in (-1, 0, 1):
        for dx in (-1, 0, 1):
            same &= index[1 + dy:h - 1 + dy, 1 + dx:w - 1 + dx] == core
    inner = np.zeros((h, w), dtype=bool)
    inner[1:-1, 1:-1] = same
    return inner


def check_colour(pictures, ref, where):
    colour = pictures["colour"].astype(int)
    png = ref["png"][..., :3].astype(int)
    assert colour.shape == png.shape, "%s: colour %r, Blender's PNG %r" % (
        where, colour.shape, png.shape)
    diff = np.abs(colour - png)
    assert diff.max() <= 2, "%s: colour differs from Blender's PNG by up to %d/255 (%d pixels " \
        "over 2)" % (where, diff.max(), np.count_nonzero(diff.max(axis=2) > 2))
    assert png.std() > 10, "%s: Blender's PNG is nearly flat; the scene did not render" % where


def check_saved_frame(scene, export, path, where, ref_folder):
    """Every check of one saved frame against Blender's render of it."""
    assert os.path.isfile(path), "%s: no file at %s" % (where, path)
    info = orvo_info(path)
    w, h = picture_size(scene)
    assert (info["width"], info["height"]) == (w, h), "%s: %dx%d pixels, the render %dx%d" % (
        where, info["width"], info["height"], w, h)
    pictures = read_pictures(path, info)
    check_camera(scene, info, where)
    seen = check_depth(scene, info, pictures, where)
    ref = reference_render(scene, ref_folder)
    check_colour(pictures, ref, where)
    check_materials(scene, export, pictures, ref, seen, where)
    return info


def fresh_folder(name):
    folder = os.path.join(WORK, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


# ---- the tests --------------------------------------------------------------------

def test_cycles_frame():
    """A landscape frame with Cycles, the camera's sensor fitted
    automatically (its width across the picture): every check, and the
    scene's settings the same afterwards."""
    scene = build_scene('CYCLES', 160, 120)
    folder = fresh_folder("cycles")
    target = os.path.join(folder, "frame.ovq")
    before = scene_settings(scene)
    export = Export(filepath=target)
    assert export.succeeded(), "the export failed: %s" % export.error
    assert export.renders == 1, "%d renders for one frame" % export.renders
    changed = differences(before, scene_settings(scene))
    assert not changed, "the export left settings changed:\n  " + "\n  ".join(changed)
    assert "Info: wrote %s: 160 x 120 pixels, colour, depth, material (5 materials)" % target \
        in export.report, "the tool's summary is not in the report"
    assert re.search(r"^Info: orvo: depthMax .*the farthest hit", export.report, re.M), \
        "the tool's notice of its depth range is not in the report"
    info = check_saved_frame(scene, export, target, "cycles", os.path.join(folder, "blender"))
    assert info["depth"]["noDepth"] > 0, "the frame shows no sky"


def test_portrait_vertical_fit():
    """A portrait frame of non-square pixels whose sensor height spans the
    picture (sensor fit VERTICAL, a sensor of another shape than the
    picture)."""
    scene = build_scene('CYCLES', 90, 128)
    scene.render.pixel_aspect_x = 1.25
    cam = scene.camera.data
    cam.sensor_fit = 'VERTICAL'
    cam.sensor_width, cam.sensor_height = 36.0, 20.0
    cam.lens = 30.0
    folder = fresh_folder("portrait")
    target = os.path.join(folder, "portrait.ovq")
    export = Export(filepath=target)
    assert export.succeeded(), "the export failed: %s" % export.error
    check_saved_frame(scene, export, target, "portrait", os.path.join(folder, "blender"))


def test_animation():
    """Frames 2, 4 and 6 of a moving camera, in a portrait frame whose
    automatic sensor fit puts the sensor's width down the picture; the tool
    found on PATH; a depth range of the user's."""
    scene = build_scene('CYCLES', 96, 128)
    cam = scene.camera
    cam.keyframe_insert("location", frame=2)
    cam.keyframe_insert("rotation_euler", frame=2)
    aim_camera(cam, Vector((0.0, 1.0, 0.8)), turn=45.0, down=25.0, distance=10.0)
    cam.keyframe_insert("location", frame=6)
    cam.keyframe_insert("rotation_euler", frame=6)
    scene.frame_start, scene.frame_end, scene.frame_step = 2, 6, 2
    scene.frame_set(3)
    folder = fresh_folder("animation")
    depth_max = 40.0
    before = scene_settings(scene)

    saved_env = os.environ.pop("ORVO")
    saved_path = os.environ["PATH"]
    os.environ["PATH"] = os.path.dirname(os.path.abspath(ORVO)) + os.pathsep + saved_path
    try:
        export = Export(filepath=os.path.join(folder, "shot.####.ovq"), animation=True,
                        depth_max=depth_max)
    finally:
        os.environ["ORVO"] = saved_env
        os.environ["PATH"] = saved_path
    assert export.succeeded(), "the export failed: %s" % export.error
    assert scene.frame_current == 3, "the current frame is %d after the export" % scene.frame_current
    changed = differences(before, scene_settings(scene))
    assert not changed, "the export left settings changed:\n  " + "\n  ".join(changed)
    files = sorted(os.listdir(folder))
    assert files == ["shot.0002.ovq", "shot.0004.ovq", "shot.0006.ovq"], "files %r" % files
    assert export.renders == 3, "%d renders for three frames" % export.renders
    positions = []
    for frame in (2, 4, 6):
        scene.frame_set(frame)
        path = os.path.join(folder, "shot.%04d.ovq" % frame)
        info = orvo_info(path)
        where = "frame %d" % frame
        check_camera(scene, info, where)
        assert info["camera"]["farDistance"] == FAR_PER_DEPTH_MAX * depth_max, \
            "%s: farDistance %r for a depth range of %r" % (where, info["camera"]["farDistance"],
                                                            depth_max)
        check_depth(scene, info, read_pictures(path, info), where)
        positions.append(tuple(info["camera"]["position"]))
    assert len(set(positions)) == 3, "the frames have the same camera: %r" % positions

    # Without a run of #, the frame number goes before the extension.
    scene.frame_start = scene.frame_end = 5
    folder = fresh_folder("animation_plain")
    export = Export(filepath=os.path.join(folder, "clip.ovq"), animation=True)
    assert export.succeeded(), "the export failed: %s" % export.error
    assert os.listdir(folder) == ["clip0005.ovq"], "files %r" % os.listdir(folder)


def test_refusals_and_a_failed_save():
    """Cameras an Orvo file cannot hold, a missing camera, an engine without
    the passes and a missing tool are refused before anything is rendered
    or written; a save the tool fails leaves nothing at the target."""
    scene = build_scene('CYCLES', 64, 48)
    folder = fresh_folder("refused")
    target = os.path.join(folder, "refused.ovq")
    cam = scene.camera.data

    def refused(expect, why):
        export = Export(filepath=target)
        assert export.error is not None, "%s: the export was not refused" % why
        assert re.search(expect, export.error, re.I), "%s: the error %r does not say %r" % (
            why, export.error, expect)
        assert export.renders == 0, "%s: %d renders before the refusal" % (why, export.renders)
        assert os.listdir(folder) == [], "%s: files left: %r" % (why, os.listdir(folder))

    cam.type = 'ORTHO'
    refused("orthographic", "an orthographic camera")
    cam.type = 'PANO'
    refused("panoramic", "a panoramic camera")
    cam.type = 'PERSP'
    cam.shift_x = 0.1
    refused("lens shift", "a horizontal lens shift")
    cam.shift_x, cam.shift_y = 0.0, -0.05
    refused("lens shift", "a vertical lens shift")
    cam.shift_y = 0.0
    camera_object = scene.camera
    scene.camera = None
    refused("no active camera", "no camera")
    scene.camera = camera_object
    scene.render.engine = 'BLENDER_WORKBENCH'
    refused("Cycles or Eevee", "the Workbench engine")
    scene.render.engine = 'CYCLES'

    # $ORVO comes before PATH, which holds the tool here.
    saved_env = os.environ["ORVO"]
    saved_path = os.environ["PATH"]
    os.environ["ORVO"] = os.path.join(folder, "no-such-orvo")
    os.environ["PATH"] = os.path.dirname(os.path.abspath(saved_env)) + os.pathsep + saved_path
    try:
        refused("ORVO", "a missing tool")
    finally:
        os.environ["ORVO"] = saved_env
        os.environ["PATH"] = saved_path

    # The preference comes before $ORVO: a copy of the tool without the
    # plug-in beside it renders, then fails to save.
    lonely = fresh_folder("lonely_tool")
    shutil.copy2(ORVO, os.path.join(lonely, "orvo"))
    prefs = bpy.context.preferences.addons["fennick_orvo"].preferences
    prefs.orvo_path = os.path.join(lonely, "orvo")
    before = scene_settings(scene)
    try:
        export = Export(filepath=target)
    finally:
        prefs.orvo_path = ""
    assert export.error is not None, "the save without a plug-in did not fail"
    assert "orvo save failed" in export.error and "fennick.so" in export.error, \
        "the error does not carry the tool's message: %r" % export.error
    assert export.renders == 1, "%d renders" % export.renders
    assert os.listdir(folder) == [], "files left after the failed save: %r" % os.listdir(folder)
    changed = differences(before, scene_settings(scene))
    assert not changed, "the failed export left settings changed:\n  " + "\n  ".join(changed)


def test_eevee_frame():
    """A frame rendered with Eevee, the sensor's width across the picture
    (sensor fit HORIZONTAL)."""
    scene = build_scene('BLENDER_EEVEE', 160, 120)
    scene.camera.data.sensor_fit = 'HORIZONTAL'
    folder = fresh_folder("eevee")
    target = os.path.join(folder, "eevee.ovq")
    before = scene_settings(scene)
    export = Export(filepath=target)
    assert export.succeeded(), "the export failed: %s" % export.error
    changed = differences(before, scene_settings(scene))
    assert not changed, "the export left settings changed:\n  " + "\n  ".join(changed)
    check_saved_frame(scene, export, target, "eevee", os.path.join(folder, "blender"))


TESTS = [test_cycles_frame, test_portrait_vertical_fit, test_animation,
         test_refusals_and_a_failed_save, test_eevee_frame]


def main():
    assert ORVO and os.path.isfile(ORVO), "ORVO names no tool: %r" % ORVO
    sys.path.insert(0, ADDON_FOLDER)
    addon_utils.enable("fennick_orvo", default_set=True, handle_error=None)
    assert hasattr(bpy.types, "EXPORT_SCENE_OT_orvo"), "the add-on did not register"
    os.makedirs(WORK, exist_ok=True)
    # The add-on's temporary files land here, to be seen gone afterwards.
    temporary = fresh_folder("tmp")
    tempfile.tempdir = temporary

    chosen = ARGS[2:]
    unknown = set(chosen) - {t.__name__ for t in TESTS}
    assert not unknown, "no such tests: %r" % sorted(unknown)
    failed = []
    for test in TESTS:
        if chosen and test.__name__ not in chosen:
            continue
        print("---- %s" % test.__name__, flush=True)
        try:
            test()
            print("PASS %s" % test.__name__, flush=True)
        except Exception:
            traceback.print_exc()
            print("FAIL %s" % test.__name__, flush=True)
            failed.append(test.__name__)
    left = os.listdir(temporary)
    if left:
        print("FAIL the add-on left temporary files: %r" % left)
        failed.append("temporary files")
    if failed:
        raise SystemExit("failed: " + ", ".join(failed))


main()
