# SPDX-License-Identifier: Apache-2.0
"""Frame sets: arrays of the right type and layout, owned by the caller, equal to the library's own
buffers, and written over in place by read(out=...)."""

import ctypes
import threading

import numpy as np
import pytest

import orvane

# stream: (dtype, channels)
LAYOUT = {"depth": (np.uint16, 1), "ir": (np.uint8, 1), "confidence": (np.uint16, 1), "color": (np.uint8, 3)}


def library_bytes(cam, stream):
    address, length, width, height, _ = cam._cam.last_frames()[stream]
    return ctypes.string_at(address, length), width, height


def library_image(cam, stream):
    """The library's own buffer of the last read as the image a caller should get (colour in RGB order)."""
    raw, width, height = library_bytes(cam, stream)
    dtype, channels = LAYOUT[stream]
    image = np.frombuffer(raw, dtype)[: width * height * channels].reshape((height, width, channels)[: 2 if channels == 1 else 3])
    bgr = cam._cam.last_frames()[stream][4] == 4
    return image[:, :, ::-1] if bgr else image


def test_arrays_have_the_frame_layout(cam):
    fs = cam.read(timeout=2.0)
    assert fs.streams == ["depth", "ir", "confidence", "color"]
    for stream, (dtype, channels) in LAYOUT.items():
        array = getattr(fs, stream)
        _, width, height = library_bytes(cam, stream)
        shape = (height, width) if channels == 1 else (height, width, channels)
        assert array.dtype == dtype and array.shape == shape, stream
        assert array.strides == tuple(np.cumprod((1,) + shape[:0:-1])[::-1] * array.itemsize), stream
        assert array.flags.c_contiguous and array.flags.writeable and array.flags.owndata, stream
    assert fs.index == fs.indices["depth"] == fs.indices["color"]
    assert fs.timestamp == fs.timestamps["depth"] > 0


def test_frames_equal_the_library_buffers_and_outlive_the_next_read(cam):
    fs = cam.read(timeout=2.0)
    for stream in LAYOUT:
        np.testing.assert_array_equal(getattr(fs, stream), library_image(cam, stream), stream)
    held = {stream: getattr(fs, stream).copy() for stream in LAYOUT}
    for _ in range(3):
        later = cam.read(timeout=2.0)
    assert later.index > fs.index
    for stream in LAYOUT:
        np.testing.assert_array_equal(getattr(fs, stream), held[stream])


@pytest.mark.parametrize("pixel_format, swapped", [(3, False), (4, True)])
def test_colour_arrives_in_rgb_order(cam, pixel_format, swapped):
    cam.set_color_pixel_format(pixel_format)
    fs = cam.read(timeout=2.0)
    for _ in range(10):
        if cam._cam.last_frames()["color"][4] == pixel_format:
            break
        fs = cam.read(timeout=2.0)
    raw, width, height = library_bytes(cam, "color")
    delivered = np.frombuffer(raw, np.uint8)[: width * height * 3].reshape(height, width, 3)
    np.testing.assert_array_equal(fs.color, delivered[:, :, ::-1] if swapped else delivered)


def test_read_into_an_earlier_set_reuses_its_arrays(cam):
    fs = cam.read(timeout=2.0)
    arrays = {stream: getattr(fs, stream) for stream in LAYOUT}
    addresses = {stream: a.ctypes.data for stream, a in arrays.items()}
    first = fs.index
    assert cam.read(timeout=2.0, out=fs) is fs
    assert fs.index > first
    for stream in LAYOUT:
        assert getattr(fs, stream) is arrays[stream], stream
        assert getattr(fs, stream).ctypes.data == addresses[stream], stream
        np.testing.assert_array_equal(getattr(fs, stream), library_image(cam, stream), stream)

    # A stream that changes size gets a new array; a stream that is switched off becomes None.
    cam.color_resolution = 5  # 800 x 600
    cam.set_confidence_frames(False)
    for _ in range(50):
        cam.read(timeout=2.0, out=fs)
        if fs.color.shape == (600, 800, 3) and fs.confidence is None:
            break
    assert fs.color.shape == (600, 800, 3) and fs.color is not arrays["color"]
    assert fs.confidence is None and fs.depth is arrays["depth"]


def test_read_refuses_a_foreign_out_and_reports_statuses(cam, ctx):
    with pytest.raises(TypeError):
        cam.read(timeout=1.0, out=object())
    cam.stop()
    with pytest.raises(orvane.CameraNotFound) as stopped:
        cam.read(timeout=0.2)
    assert (stopped.value.status_name, stopped.value.code) == ("TF_ERROR_DEVICE_NOT_FOUND", -1)
    cam.close()
    cam.close()
    with pytest.raises(orvane.OrvaneError) as closed:
        cam.read(timeout=0.2)
    assert closed.value.status_name == "TF_ERROR_INVALID_HANDLE"
    with pytest.raises(orvane.OrvaneError) as unknown:
        ctx.open(uri="KR52Lite:NOSUCH", wait=0)
    assert unknown.value.code < 0 and unknown.value.status_name == orvane.status_name(unknown.value.code)


def test_mapped_images_have_the_other_cameras_size(cam):
    cam.color_to_depth = True
    cam.depth_to_color = True
    fs = cam.read(timeout=2.0)
    for _ in range(20):
        if {"color_mapped_to_depth", "depth_mapped_to_color"} <= set(fs.streams):
            break
        fs = cam.read(timeout=2.0)
    assert fs.color_mapped_to_depth.shape == fs.depth.shape + (3,)
    assert fs.depth_mapped_to_color.shape == fs.color.shape[:2] and fs.depth_mapped_to_color.dtype == np.uint16
    frames = cam._cam.last_frames()
    for stream, image in (("color_mapped_to_depth", fs.color_mapped_to_depth),
                          ("depth_mapped_to_color", fs.depth_mapped_to_color)):
        raw, width, height = library_bytes(cam, stream)
        delivered = np.frombuffer(raw, image.dtype)[: image.size].reshape(image.shape)
        np.testing.assert_array_equal(image, delivered[:, :, ::-1] if frames[stream][4] == 4 else delivered)


def test_reads_from_two_threads_get_distinct_whole_sets(cam):
    results, errors = [[], []], []

    def reader(out):
        try:
            for _ in range(15):
                fs = cam.read(timeout=2.0)
                out.append((fs.index, len(set(fs.indices.values()))))
        except Exception as error:  # reported below
            errors.append(error)

    threads = [threading.Thread(target=reader, args=(r,)) for r in results]
    for t in threads:
        t.start()
    for t in threads:
        t.join(30)
    assert not errors and all(len(r) == 15 for r in results)
    indices = [i for r in results for i, _ in r]
    assert len(set(indices)) == len(indices), "a set was handed to both threads"
    assert all(distinct == 1 for r in results for _, distinct in r), "a set mixed frames of two indices"
