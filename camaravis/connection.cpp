// Finding the camera, the connection to it and its properties: discovery or the knob's
// address, control of the camera, and a camera lost or held by another controller.
#include "aravis_camera.h"

#include "properties.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace camaravis
{
namespace
{

constexpr uint16_t control_port = 3956; // GigE Vision's control channel

// The address of the interface the kernel reaches `camera` through: a datagram socket is
// connected, which sends nothing. Null when there is no route.
Ref<GInetAddress> local_address_towards(const std::string &camera)
{
    sockaddr_in to{}, from{};
    socklen_t size = sizeof from;
    to.sin_family = AF_INET;
    to.sin_port = htons(control_port);
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool routed = fd >= 0 && inet_pton(AF_INET, camera.c_str(), &to.sin_addr) == 1 &&
                        connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0 &&
                        getsockname(fd, reinterpret_cast<sockaddr *>(&from), &size) == 0;
    if (fd >= 0)
        close(fd);
    char text[INET_ADDRSTRLEN];
    if (!routed || inet_ntop(AF_INET, &from.sin_addr, text, sizeof text) == nullptr)
        return nullptr;
    return Ref<GInetAddress>(g_inet_address_new_from_string(text));
}

void on_control_lost(ArvDevice *, gpointer connection)
{
    static_cast<Connection *>(connection)->lost = true;
}

// A lost camera's connection, kept to the end of the process: letting it go would say
// goodbye to a camera that does not answer, each step waiting out Aravis's timeouts.
void abandon(std::unique_ptr<Connection> connection)
{
    static std::mutex mutex;
    static auto *abandoned = new std::vector<std::unique_ptr<Connection>>;
    std::lock_guard<std::mutex> lock(mutex);
    abandoned->push_back(std::move(connection));
}

} // namespace

AravisDevice::~AravisDevice()
{
    release();
}

Ref<ArvDevice> AravisDevice::open_device(const std::string &name)
{
    GError *error = nullptr;
    ArvDevice *device = nullptr;
    if (camera_.choice.kind == Choice::address) {
        Ref<GInetAddress> local = local_address_towards(name);
        Ref<GInetAddress> address(g_inet_address_new_from_string(name.c_str()));
        if (local != nullptr)
            device = arv_gv_device_new(local.get(), address.get(), &error);
    } else {
        std::lock_guard<std::mutex> lock(camera_.discovery);
        device = arv_open_device(name.c_str(), &error);
    }
    if (error != nullptr)
        g_error_free(error);
    return Ref<ArvDevice>(device);
}

std::vector<std::string> AravisDevice::find_cameras()
{
    const Choice &choice = camera_.choice;
    if (choice.kind == Choice::address) {
        // The count asks the address itself; the camera that answers is kept for the
        // connection, which then needs no second opening.
        const bool connected = connection_ != nullptr && !connection_->lost;
        if (probed_ == nullptr && !connected)
            probed_ = open_device(choice.name);
        if (probed_ == nullptr && !connected)
            return {};
        return {choice.name};
    }
    std::lock_guard<std::mutex> lock(camera_.discovery);
    arv_update_device_list();
    std::vector<std::string> names;
    for (unsigned i = 0; i < arv_get_n_devices(); ++i) {
        const char *id = arv_get_device_id(i);
        if (id != nullptr && (choice.kind == Choice::first_found || choice.name == id))
            names.emplace_back(id);
    }
    return names;
}

Error AravisDevice::count(unsigned &count)
{
    listed_ = find_cameras();
    count = static_cast<unsigned>(listed_.size());
    return ok;
}

Error AravisDevice::identify(unsigned index, camera_id &id)
{
    if (listed_.empty())
        listed_ = find_cameras();
    if (index >= listed_.size())
        return not_found;
    id = camera_.identifier(listed_[index]);
    return ok;
}

Error AravisDevice::connect(const camera_id &id)
{
    std::string name;
    if (!camera_.name_of(id, name))
        return not_found;
    release();
    Ref<ArvDevice> device = probed_ != nullptr ? std::move(probed_) : open_device(name);
    if (device == nullptr)
        return not_found;
    GError *error = nullptr;
    Ref<ArvCamera> camera(arv_camera_new_with_device(device.get(), &error));
    if (camera == nullptr) {
        const Error code = code_of(error);
        return code == not_connected ? not_found : code;
    }
    connection_ = std::make_unique<Connection>();
    connection_->camera = std::move(camera);
    g_signal_connect(device.get(), "control-lost", G_CALLBACK(on_control_lost), connection_.get());
    return ok;
}

bool AravisDevice::holds()
{
    return connection_ != nullptr && !connection_->lost;
}

void AravisDevice::lost()
{
    if (connection_ == nullptr)
        return;
    g_signal_handlers_disconnect_by_data(arv_camera_get_device(connection_->camera.get()),
                                         connection_.get());
    abandon(std::move(connection_));
}

void AravisDevice::release()
{
    if (connection_ == nullptr || connection_->lost) {
        lost();
        return;
    }
    ArvCamera *camera = connection_->camera.get();
    g_signal_handlers_disconnect_by_data(arv_camera_get_device(camera), connection_.get());
    if (connection_->stream != nullptr)
        arv_camera_stop_acquisition(camera, nullptr);
    connection_.reset(); // the stream, then the camera, which gives up control
}

bool AravisDevice::controls() const
{
    ArvDevice *device = arv_camera_get_device(connection_->camera.get());
    return !ARV_IS_GV_DEVICE(device) || arv_gv_device_is_controller(ARV_GV_DEVICE(device));
}

Error AravisDevice::answer(Error code)
{
    if (code == not_connected && connection_ != nullptr)
        connection_->lost = true;
    return code;
}

bool AravisDevice::has(property_type type)
{
    return has_property(connection_->camera.get(), type);
}

Error AravisDevice::read(camera_property &property)
{
    return answer(read_property(connection_->camera.get(), property));
}

Error AravisDevice::write(const camera_property &property)
{
    if (!controls())
        return camera_busy;
    const Error code = answer(write_property(connection_->camera.get(), property));
    if (code == ok && state_.capturing)
        wait_ = frame_wait(); // the exposure may be longer now
    return code;
}

} // namespace camaravis
