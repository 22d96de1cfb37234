// Contexts and image records, checked against the SDK's contract, over one simulated
// camera per context, and the sensor's frame clock.
#include "camera.h"

#include "image.h"
#include "knobs.h"
#include "properties.h"
#include "scene.h"
#include "sensor.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

namespace camsim
{
namespace
{

using Clock = std::chrono::steady_clock;

constexpr uint32_t id_tag = 0x43534D31; // "CSM1"
constexpr uint32_t first_serial = 17140000;
constexpr uint64_t image_tag = 0x43534D2D494D4147; // "CSM-IMAG"
// Context handles are tokens, not addresses: this tag and a number never given twice.
constexpr uintptr_t context_tag = uintptr_t{0x43534D} << 40;
// After a long pause the sensor exposes at most this many of the frames it made (auto
// exposure has long settled by then).
constexpr uint64_t exposed_backlog = 32;

// The records the simulator fills and reads, against the SDK's declarations.
static_assert(sizeof(camera_context) == sizeof(uintptr_t), "a context handle holds a token");
static_assert(sizeof(camera_id) == 4 * sizeof(uint32_t), "an identifier is four words");
static_assert(sizeof(camera_property) == 25 * sizeof(uint32_t),
              "a property record is nine words and sixteen reserved ones");
static_assert(sizeof(image_record::opaque) >= 2 * sizeof(uint64_t),
              "an image record holds the tag and the record's number");

// The sensor's frame clock for one capture: frame k is ready at
// origin + (k - first) * period; a change of period moves the origin to the newest frame
// made at the old one, so frame times stay continuous. A zero period is unpaced: every
// retrieval gets the next frame at once.
struct Grid {
    Clock::time_point start; // capture started: frame 0 is ready then
    Clock::time_point origin;
    uint64_t first = 0;
    Clock::duration period{};
    uint64_t next = 0;    // the first frame neither delivered nor lost
    uint64_t exposed = 0; // frames the sensor has exposed
};

struct Context {
    std::mutex mutex;
    std::condition_variable stopped; // capture stopped or the context destroyed
    bool destroyed = false;
    bool connected = false;
    unsigned camera = 0;
    bool capturing = false;
    uint64_t captures = 0; // starts of capture so far
    Settings settings = factory_settings();
    Stream stream; // the sensor's state while capturing
    Grid grid;
};

// An image record's contents; two threads using one record take turns.
struct ImageSlot {
    std::mutex mutex;
    Image image;
};

// Everything the SDK hands out. Image records live until the process ends (the tools never
// release them, and the SDK has no operation to); a context goes with its destruction.
struct Registry {
    std::mutex mutex;
    uint64_t contexts_made = 0;
    uint64_t images_made = 0;
    std::map<uintptr_t, std::shared_ptr<Context>> contexts;
    std::map<uint64_t, std::shared_ptr<ImageSlot>> images;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

std::shared_ptr<Context> find_context(camera_context handle)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto found = r.contexts.find(reinterpret_cast<uintptr_t>(handle));
    return found == r.contexts.end() ? nullptr : found->second;
}

std::shared_ptr<ImageSlot> find_image(const image_record *record)
{
    if (record == nullptr || record->opaque[0] != image_tag)
        return nullptr;
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto found = r.images.find(record->opaque[1]);
    return found == r.images.end() ? nullptr : found->second;
}

// Whether the context whose stream made the frame in the image (if any) still exists: a
// frame of a destroyed context is refused, as the context is.
bool origin_alive(const Image &image)
{
    return image.origin == 0 ||
           find_context(reinterpret_cast<camera_context>(image.origin)) != nullptr;
}

// A live context, locked.
struct Locked {
    std::shared_ptr<Context> context;
    std::unique_lock<std::mutex> lock;
};

Error lock_context(camera_context handle, Locked &locked)
{
    locked.context = find_context(handle);
    if (locked.context == nullptr)
        return invalid_context;
    locked.lock = std::unique_lock<std::mutex>(locked.context->mutex);
    return locked.context->destroyed ? invalid_context : ok;
}

Error lock_connected(camera_context handle, Locked &locked)
{
    if (Error error = lock_context(handle, locked))
        return error;
    return locked.context->connected ? ok : not_connected;
}

Clock::duration frame_period(const Settings &settings, const Stream &stream)
{
    double fps = knobs().fps;
    if (fps == 0)
        return Clock::duration::zero();
    // The camera cannot start a frame before the last exposure is over.
    double seconds = std::fmax(1.0 / fps, exposure_in_use(settings, &stream) / 1000.0);
    return std::chrono::round<Clock::duration>(std::chrono::duration<double>(seconds));
}

Clock::time_point ready_time(const Grid &grid, uint64_t frame)
{
    return grid.origin + static_cast<Clock::rep>(frame - grid.first) * grid.period;
}

// The newest frame the sensor has made by `now`; false when it has made none.
bool newest_made(const Grid &grid, Clock::time_point now, uint64_t &frame)
{
    if (now < grid.origin)
        return false;
    frame = grid.first + static_cast<uint64_t>((now - grid.origin) / grid.period);
    return true;
}

void set_period(Grid &grid, Clock::duration period, Clock::time_point now)
{
    if (period == grid.period)
        return;
    uint64_t newest = 0;
    if (grid.period > Clock::duration::zero() && newest_made(grid, now, newest)) {
        grid.origin = ready_time(grid, newest);
        grid.first = newest;
    }
    grid.period = period;
}

// Waits for the frame a retrieval takes: the newest one not yet delivered, and not before
// `not_before`. False when capture stopped or the context ended meanwhile.
bool await_frame(Context &context, std::unique_lock<std::mutex> &lock, Clock::time_point not_before,
                 uint64_t &frame)
{
    const uint64_t capture = context.captures;
    Grid &grid = context.grid;
    for (;;) {
        // A setting another process wrote applies from the next frame.
        context.settings = load_settings(knobs().state_path, context.camera);
        const Clock::time_point now = Clock::now();
        set_period(grid, frame_period(context.settings, context.stream), now);
        Clock::time_point wake = not_before;
        if (grid.period == Clock::duration::zero()) {
            frame = grid.next;
            if (now >= not_before)
                return true;
        } else if (newest_made(grid, now, frame) && frame >= grid.next) {
            if (now >= not_before)
                return true;
        } else {
            wake = std::max(wake, ready_time(grid, grid.next));
        }
        context.stopped.wait_until(lock, wake);
        if (context.destroyed || !context.capturing || context.captures != capture)
            return false;
    }
}

// Marks the frame taken and exposes it, with the frames the sensor made since the last
// one exposed, so auto exposure follows every frame made.
std::shared_ptr<const ExposedScene> take_frame(Context &context, uint64_t frame, Delivery &delivery)
{
    Grid &grid = context.grid;
    grid.next = frame + 1;
    grid.exposed =
        std::max(grid.exposed, frame + 1 > exposed_backlog ? frame + 1 - exposed_backlog : 0);
    std::shared_ptr<const ExposedScene> scene; // frames are taken in order: this one is new
    for (; grid.exposed <= frame; ++grid.exposed)
        scene = expose_frame(context.stream, context.settings);
    delivery.taken = true;
    delivery.frame = frame;
    delivery.time_ms =
        grid.period == Clock::duration::zero()
            ? 0.0
            : std::chrono::duration<double, std::milli>(ready_time(grid, frame) - grid.start)
                  .count();
    return scene;
}

} // namespace

Error create_context(camera_context *handle)
{
    if (handle == nullptr)
        return invalid_parameter;
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const uintptr_t token = context_tag | ++r.contexts_made;
    r.contexts[token] = std::make_shared<Context>();
    *handle = reinterpret_cast<camera_context>(token);
    return ok;
}

Error count_cameras(camera_context handle, unsigned int *count)
{
    Locked locked;
    if (Error error = lock_context(handle, locked))
        return error;
    if (count == nullptr)
        return invalid_parameter;
    *count = knobs().cameras;
    return ok;
}

Error camera_from_index(camera_context handle, unsigned int index, camera_id *id)
{
    Locked locked;
    if (Error error = lock_context(handle, locked))
        return error;
    if (id == nullptr)
        return invalid_parameter;
    if (index >= knobs().cameras)
        return not_found;
    *id = camera_id{{id_tag, first_serial + index, index, 0}};
    return ok;
}

Error connect(camera_context handle, const camera_id *id)
{
    Locked locked;
    if (Error error = lock_context(handle, locked))
        return error;
    if (id == nullptr)
        return invalid_parameter;
    const uint32_t index = id->words[2];
    if (id->words[0] != id_tag || index >= knobs().cameras ||
        id->words[1] != first_serial + index || id->words[3] != 0)
        return not_found;
    Context &context = *locked.context;
    if (context.capturing)
        return already_started;
    context.connected = true;
    context.camera = index;
    context.settings = load_settings(knobs().state_path, index);
    return ok;
}

Error get_property(camera_context handle, camera_property *property)
{
    Locked locked;
    if (Error error = lock_connected(handle, locked))
        return error;
    if (property == nullptr)
        return invalid_parameter;
    if (find_range(property->type) == nullptr)
        return property_not_present;
    Context &context = *locked.context;
    // Another process may have changed the camera since this one last looked.
    context.settings = load_settings(knobs().state_path, context.camera);
    *property = reported_property(context.settings, context.capturing ? &context.stream : nullptr,
                                  property->type);
    return ok;
}

Error set_property(camera_context handle, const camera_property *property)
{
    Locked locked;
    if (Error error = lock_connected(handle, locked))
        return error;
    if (property == nullptr)
        return invalid_parameter;
    if (find_range(property->type) == nullptr)
        return property_not_present;
    if (property->absolute_control && !std::isfinite(property->absolute_value))
        return invalid_parameter;
    Context &context = *locked.context;
    camera_property &held = *context.settings.find(property->type);
    return store_property(knobs().state_path, context.camera, *property, held) ? ok : failed;
}

Error start_capture(camera_context handle)
{
    Locked locked;
    if (Error error = lock_connected(handle, locked))
        return error;
    Context &context = *locked.context;
    if (context.capturing)
        return already_started;
    context.settings = load_settings(knobs().state_path, context.camera);
    context.capturing = true;
    ++context.captures;
    begin_stream(context.stream, context.settings);
    context.grid = Grid{};
    context.grid.start = context.grid.origin = Clock::now();
    context.grid.period = frame_period(context.settings, context.stream);
    return ok;
}

Error create_image(image_record *record)
{
    if (record == nullptr)
        return invalid_parameter;
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const uint64_t number = ++r.images_made;
    r.images[number] = std::make_shared<ImageSlot>();
    *record = image_record{};
    record->opaque[0] = image_tag;
    record->opaque[1] = number;
    return ok;
}

int32_t retrieve_buffer(camera_context handle, image_record *record, int32_t injected,
                        Clock::time_point not_before, Delivery &delivery)
{
    Locked locked;
    Error error = lock_connected(handle, locked);
    if (injected != 0) {
        // The failing call still takes sensor time: the frame it would have had is lost.
        uint64_t frame = 0;
        if (error == ok && locked.context->capturing) {
            if (await_frame(*locked.context, locked.lock, not_before, frame))
                take_frame(*locked.context, frame, delivery);
            else
                delivery.cut_short = true; // its delay is over with the stream
        }
        return injected;
    }
    if (error != ok)
        return error;
    Context &context = *locked.context;
    if (!context.capturing)
        return not_started;
    if (record == nullptr)
        return invalid_parameter;
    std::shared_ptr<ImageSlot> slot = find_image(record);
    if (slot == nullptr)
        return not_initialized;
    uint64_t frame = 0;
    if (!await_frame(context, locked.lock, not_before, frame))
        return context.destroyed ? invalid_context : not_started;
    std::shared_ptr<const ExposedScene> scene = take_frame(context, frame, delivery);
    locked.lock.unlock();

    std::lock_guard<std::mutex> lock(slot->mutex);
    Image &image = slot->image;
    image.layout = PixelLayout::bayer_rggb;
    image.width = image.stride = knobs().width;
    image.height = knobs().height;
    image.pixels.clear();
    image.exposure = std::move(scene);
    image.frame = frame;
    image.origin = reinterpret_cast<uintptr_t>(handle);
    return ok;
}

Error convert_image(pixel_format format, const image_record *source, image_record *destination)
{
    if (source == nullptr || destination == nullptr)
        return invalid_parameter;
    std::shared_ptr<ImageSlot> from = find_image(source), to = find_image(destination);
    if (from == nullptr || to == nullptr)
        return not_initialized;
    if (format != PIXEL_FORMAT_MONO8)
        return unsupported_format;
    // Work on copies: a frame from the sensor is a reference to its exposure and a number.
    Image raw;
    {
        std::lock_guard<std::mutex> lock(from->mutex);
        raw = from->image;
    }
    if (!origin_alive(raw))
        return invalid_context;
    Image grey;
    if (Error error = convert_to_mono8(raw, grey))
        return error;
    grey.origin = raw.origin;
    std::lock_guard<std::mutex> lock(to->mutex);
    to->image = std::move(grey);
    return ok;
}

Error save_image(const image_record *record, const char *file_name, image_file_format format)
{
    if (record == nullptr || file_name == nullptr || file_name[0] == '\0')
        return invalid_parameter;
    std::shared_ptr<ImageSlot> slot = find_image(record);
    if (slot == nullptr)
        return not_initialized;
    if (format != FILE_FORMAT_BMP)
        return unsupported_format;
    Image image;
    {
        std::lock_guard<std::mutex> lock(slot->mutex);
        image = slot->image;
    }
    if (!origin_alive(image))
        return invalid_context;
    // Rendered and written with no lock held.
    return save_bmp(image, file_name);
}

// A camera keeps the values its auto exposure chose when capture stops: a later capture
// starts from them, and reads outside a stream report them.
void keep_auto_exposure(const Context &context)
{
    if (context.stream.frames > 0)
        keep_auto_values(knobs().state_path, context.camera, context.stream.shutter,
                         context.stream.gain);
}

Error stop_capture(camera_context handle)
{
    Locked locked;
    if (Error error = lock_connected(handle, locked))
        return error;
    if (!locked.context->capturing)
        return not_started;
    locked.context->capturing = false;
    locked.context->stopped.notify_all();
    keep_auto_exposure(*locked.context);
    return ok;
}

Error destroy_context(camera_context handle)
{
    std::shared_ptr<Context> context;
    {
        Registry &r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto found = r.contexts.find(reinterpret_cast<uintptr_t>(handle));
        if (found == r.contexts.end())
            return invalid_context;
        context = std::move(found->second);
        r.contexts.erase(found);
    }
    std::lock_guard<std::mutex> lock(context->mutex);
    context->destroyed = true;
    if (context->capturing)
        keep_auto_exposure(*context);
    context->capturing = false;
    context->stopped.notify_all();
    return ok;
}

} // namespace camsim
