// The yardstick of the Aravis benchmark: a minimal Aravis client that takes ten Mono8 frames
// from the GigE Vision camera at ADDRESS (on loopback, where the camera's address is also the
// interface's) and writes each whole one as the 8-bit grey BMP file the kit writes, 0000.bmp to
// 0009.bmp in the working directory, with open(O_TRUNC) and write(2).
#include <arv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace
{

void put32(unsigned char *at, size_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Headers, grey palette, then the rows bottom-up, each padded to four bytes.
std::vector<unsigned char> bmp(const unsigned char *pixels, size_t width, size_t height)
{
    const size_t stride = (width + 3) & ~size_t{3}, headers = 14 + 40 + 1024;
    std::vector<unsigned char> bytes(headers + stride * height, 0);
    unsigned char *h = bytes.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, bytes.size());
    put32(h + 10, headers);
    put32(h + 14, 40);
    put32(h + 18, width);
    put32(h + 22, height);
    h[26] = 1;
    h[28] = 8;
    put32(h + 34, stride * height);
    put32(h + 38, 2835);
    put32(h + 42, 2835);
    put32(h + 46, 256);
    put32(h + 50, 256);
    for (int i = 0; i < 256; ++i)
        h[54 + 4 * i] = h[55 + 4 * i] = h[56 + 4 * i] = static_cast<unsigned char>(i);
    for (size_t y = 0; y < height; ++y)
        std::memcpy(h + headers + (height - 1 - y) * stride, pixels + y * width, width);
    return bytes;
}

bool write_file(const char *name, const std::vector<unsigned char> &bytes)
{
    const int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    size_t done = 0;
    while (fd >= 0 && done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR)
            break;
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return fd >= 0 && close(fd) == 0 && done == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: aravis_loop ADDRESS\n");
        return 2;
    }
    GInetAddress *address = g_inet_address_new_from_string(argv[1]);
    GError *error = nullptr;
    ArvDevice *device = address ? arv_gv_device_new(address, address, &error) : nullptr;
    ArvCamera *camera = device ? arv_camera_new_with_device(device, &error) : nullptr;
    if (camera != nullptr) {
        arv_camera_set_pixel_format(camera, ARV_PIXEL_FORMAT_MONO_8, &error);
        g_clear_error(&error);
        arv_camera_set_acquisition_mode(camera, ARV_ACQUISITION_MODE_CONTINUOUS, &error);
    }
    // As camaravis streams: the largest packets the link takes, a frame-sized socket buffer.
    if (device != nullptr)
        arv_gv_device_set_packet_size_adjustment(ARV_GV_DEVICE(device),
                                                 ARV_GV_PACKET_SIZE_ADJUSTMENT_ONCE);
    ArvStream *stream =
        camera && !error ? arv_camera_create_stream(camera, nullptr, nullptr, &error) : nullptr;
    if (stream == nullptr) {
        std::fprintf(stderr, "aravis_loop: %s\n", error ? error->message : "no camera");
        return 1;
    }
    g_object_set(stream, "socket-buffer", ARV_GV_STREAM_SOCKET_BUFFER_AUTO, "socket-buffer-size", 0,
                 nullptr);
    const guint payload = arv_camera_get_payload(camera, nullptr);
    for (int i = 0; i < 4; ++i)
        arv_stream_push_buffer(stream, arv_buffer_new_allocate(payload));
    arv_camera_start_acquisition(camera, nullptr);
    // A frame that does not come whole is left out; the benchmark counts the files.
    for (int i = 0; i < 10; ++i) {
        ArvBuffer *buffer = arv_stream_timeout_pop_buffer(stream, 2000000);
        if (buffer != nullptr && arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS) {
            size_t size = 0;
            const auto *pixels =
                static_cast<const unsigned char *>(arv_buffer_get_image_data(buffer, &size));
            char name[16];
            std::snprintf(name, sizeof name, "%04d.bmp", i);
            const size_t width = static_cast<size_t>(arv_buffer_get_image_width(buffer));
            const size_t height = static_cast<size_t>(arv_buffer_get_image_height(buffer));
            if (size >= width * height)
                write_file(name, bmp(pixels, width, height));
        }
        if (buffer != nullptr)
            arv_stream_push_buffer(stream, buffer);
    }
    arv_camera_stop_acquisition(camera, nullptr);
    g_object_unref(stream);
    g_object_unref(camera);
    g_object_unref(device);
    g_object_unref(address);
    return 0;
}
