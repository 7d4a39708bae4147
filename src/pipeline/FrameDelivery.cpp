// SPDX-License-Identifier: Apache-2.0
// FrameDelivery: output slots, frame collection (paired or single), mapping, rotation and mirroring, and
// the notification thread.
#include "pipeline/FrameDelivery.h"

#include <cstring>

#include "protocol/StatusCodes.h"
#include "runtime/LogCustom.h"

std::mutex g_MutexSetLens;

namespace {

struct SlotLayout
{
    FrameType type;
    PixelFormat pixelFormat;
    uint32_t bufferBytes;
};

// Indexed by FrameDelivery::Slot.
constexpr SlotLayout kSlotLayout[] = {
    {kFrameColor, kPixelBgr888, FrameDelivery::kColorSlotBytes},
    {kFrameDepth, kPixelDepthMm16, FrameDelivery::kImageSlotBytes},
    {kFrameIr, kPixelGray8, FrameDelivery::kImageSlotBytes},
    {kFrameConfidence, kPixelGray16, FrameDelivery::kImageSlotBytes},
    {kFrameColorMappedToDepth, kPixelBgr888, FrameDelivery::kColorSlotBytes},
    {kFrameDepthMappedToColor, kPixelDepthMm16, FrameDelivery::kImageSlotBytes},
    {kFrameIrMappedToColor, kPixelGray16, FrameDelivery::kImageSlotBytes},
    {kFrameDepth, kPixelDepthMm16, FrameDelivery::kImageSlotBytes},
};

AlgImage ImageOf(Frame &frame, ALG_ElemType elemType)
{
    return AlgImage{frame.pFrameData, elemType, frame.width, frame.height};
}

ALG_ElemType ElemTypeOf(FrameType type)
{
    return (type == kFrameColor || type == kFrameColorMappedToDepth) ? ALG_8UC3 : ALG_16UC1;
}

} // namespace

FrameDelivery::FrameDelivery(APIDepthRefine *refine) : StoppableThread("Callback"), m_refine(refine)
{
    InitBuf();
}

FrameDelivery::~FrameDelivery()
{
    Stop();
    Join();
}

void FrameDelivery::Run()
{
    while (IsRunning()) {
        CallbackFn();
    }
}

void FrameDelivery::SetSources(const DeliverySources &sources)
{
    // Unpublished while the queues change: a collection sees the old set, nothing, or the new set.
    m_sync.store(nullptr);
    m_depthQueue = sources.depth;
    m_irQueue = sources.ir;
    m_confidenceQueue = sources.confidence;
    m_colorQueue = sources.color;
    m_sync.store(sources.sync);
}

void FrameDelivery::InitBuf()
{
    for (int i = 0; i < kSlotCount; ++i) {
        // Left uninitialised: the pages of slots a camera never uses are never touched.
        m_slotBuffers[i].reset(new uint8_t[kSlotLayout[i].bufferBytes]);
        Frame &slot = m_slots[i];
        slot = Frame{};
        slot.frameType = static_cast<uint32_t>(kSlotLayout[i].type);
        slot.pixelFormat = static_cast<uint32_t>(kSlotLayout[i].pixelFormat);
        slot.pFrameData = m_slotBuffers[i].get();
        slot.bufferSize = kSlotLayout[i].bufferBytes;
        m_slotReady[i].store(false);
    }
    m_mappedColorOut.reset(new uint8_t[kMappedColorBytes]);
    m_mappedDepthOut.reset(new uint8_t[kImageSlotBytes]);
    m_mappedIrOut.reset(new uint8_t[kImageSlotBytes]);
}

int FrameDelivery::SlotOfType(FrameType type)
{
    switch (type) {
    case kFrameColor:
        return kSlotColor;
    case kFrameDepth:
        return kSlotDepth;
    case kFrameIr:
        return kSlotIr;
    case kFrameConfidence:
        return kSlotConfidence;
    case kFrameColorMappedToDepth:
        return kSlotColorMapped;
    case kFrameDepthMappedToColor:
        return kSlotDepthMapped;
    case kFrameIrMappedToColor:
        return kSlotIrMapped;
    default:
        return -1;
    }
}

int FrameDelivery::PrepareNextFrame(FrameReady *ready)
{
    std::lock_guard<std::recursive_mutex> lock(m_collectMutex);
    if (m_pendingSet.exchange(false)) {
        FillReady(ready);
        return 0;
    }
    const int ret = m_synchronize.load() ? SyncCollect() : UnsyncCollect();
    FillReady(ready);
    return ret;
}

void FrameDelivery::FillReady(FrameReady *ready) const
{
    if (ready == nullptr) {
        return;
    }
    ready->color = m_slotReady[kSlotColor].load() ? 1 : 0;
    ready->depth = m_slotReady[kSlotDepth].load() ? 1 : 0;
    ready->ir = m_slotReady[kSlotIr].load() ? 1 : 0;
    ready->confidence = m_slotReady[kSlotConfidence].load() ? 1 : 0;
    ready->colorMappedToDepth = m_slotReady[kSlotColorMapped].load() ? 1 : 0;
    ready->depthMappedToColor = m_slotReady[kSlotDepthMapped].load() ? 1 : 0;
    ready->irMappedToColor = m_slotReady[kSlotIrMapped].load() ? 1 : 0;
}

void FrameDelivery::ClearReady()
{
    for (int i = kSlotColor; i <= kSlotIrMapped; ++i) {
        m_slotReady[i].store(false);
    }
    CallbackFrames &cb = m_callbackFrames;
    cb.hasColor = cb.hasDepth = cb.hasIr = cb.hasConfidence = 0;
    cb.hasMappedColor = cb.hasMappedDepth = cb.hasMappedIr = 0;
}

int FrameDelivery::UnsyncCollect()
{
    if (!m_streamOn.load() || !m_frameState.load()) {
        return kStatusDeviceNotFound;
    }
    for (int slot : {kSlotDepth, kSlotIr, kSlotConfidence, kSlotColor}) {
        m_slotReady[slot].store(false);
    }
    Sync *const sync = m_sync.load();
    if (sync == nullptr) {
        return kStatusFrameTimeout;
    }
    const uint8_t mask = sync->GetSingleFrameReady();
    if (mask == 0) {
        return kStatusFrameTimeout;
    }
    struct Kind
    {
        uint8_t bit;
        Slot slot;
        FrameQueue *queue;
        TfFrame CallbackFrames::*tf;
        uint8_t CallbackFrames::*presence;
    };
    const Kind kinds[] = {
        {kHasDepth, kSlotDepth, m_depthQueue, &CallbackFrames::depth, &CallbackFrames::hasDepth},
        {kHasIr, kSlotIr, m_irQueue, &CallbackFrames::ir, &CallbackFrames::hasIr},
        {kHasConfidence, kSlotConfidence, m_confidenceQueue, &CallbackFrames::confidence,
         &CallbackFrames::hasConfidence},
        {kHasColor, kSlotColor, m_colorQueue, &CallbackFrames::color, &CallbackFrames::hasColor},
    };
    bool anyReady = false;
    DropCounters *const counters = m_dropCounters.load();
    for (const Kind &kind : kinds) {
        if ((mask & kind.bit) == 0 || kind.queue->Size() == 0) {
            continue;
        }
        Frame *frame = kind.queue->Pop(static_cast<FrameType>(kSlotLayout[kind.slot].type));
        if (frame == nullptr) {
            continue;
        }
        const uint32_t expected = uint32_t{frame->width} * frame->height * BytesPerPixel(frame->pixelFormat);
        bool handed = false;
        if (expected != 0 && frame->dataLen == expected) {
            std::unique_lock<std::mutex> notifyLock(m_notifyMutex);
            const TfFrameNotifyCallback callback = m_notify.load();
            if (callback != nullptr) {
                handed = true;
                CallbackFrames &cb = m_callbackFrames;
                cb.*(kind.tf) = ToTfFrame(*frame);
                cb.*(kind.presence) = 1;
                Notify(callback);
                cb.hasColor = cb.hasDepth = cb.hasIr = cb.hasConfidence = 0;
            } else if (frame->DeepCopyTo(m_slots[kind.slot])) {
                m_slotReady[kind.slot].store(true);
                anyReady = true;
                handed = true;
            }
        } else {
            TFLOG("frame type:%u dataLen:%u does not match %ux%u", frame->frameType, frame->dataLen,
                  static_cast<unsigned>(frame->width), static_cast<unsigned>(frame->height));
        }
        if (counters != nullptr) {
            if (handed) {
                counters->CountDeliveredFrame(*frame);
            } else {
                counters->CountFrame(*frame, DropReason::kDecodeError);
            }
        }
        kind.queue->RecycleFrame(frame);
    }
    return anyReady ? 0 : kStatusFrameTimeout;
}

int FrameDelivery::SyncCollect()
{
    if (!m_streamOn.load() || !m_frameState.load()) {
        return kStatusDeviceNotFound;
    }
    ClearReady();
    SyncFrame set{};
    set.colorFrame = &m_slots[kSlotColor];
    set.depthFrame = &m_slots[kSlotDepth];
    set.irFrame = &m_slots[kSlotIr];
    set.confidenceFrame = &m_slots[kSlotConfidence];
    Sync *const sync = m_sync.load();
    if (sync == nullptr || sync->GetSyncFrame(set) == 0) {
        TFLOG("timeout");
        return kStatusFrameTimeout;
    }
    if (DropCounters *counters = m_dropCounters.load()) {
        counters->CountDeliveredSet(static_cast<uint8_t>(set.hasFrameMask));
    }
    uint8_t mapped = 0;
    if (m_colorToDepth.load() || m_depthToColor.load() || m_irToColor.load()) {
        mapped = ProcMapFrame(set);
    }
    struct Present
    {
        Slot slot;
        bool present;
        TfFrame CallbackFrames::*tf;
        uint8_t CallbackFrames::*presence;
        ALG_ElemType mirrorType;
    };
    const ALG_ElemType mappedIrType =
        m_slots[kSlotIrMapped].pixelFormat == kPixelGray8 ? ALG_8UC1 : ALG_16UC1;
    const Present parts[] = {
        {kSlotColor, set.hasColor != 0, &CallbackFrames::color, &CallbackFrames::hasColor, ALG_8UC3},
        {kSlotDepth, set.hasDepth != 0, &CallbackFrames::depth, &CallbackFrames::hasDepth, ALG_16UC1},
        {kSlotIr, set.hasIr != 0, &CallbackFrames::ir, &CallbackFrames::hasIr, ALG_16UC1},
        {kSlotConfidence, set.hasConfidence != 0, &CallbackFrames::confidence, &CallbackFrames::hasConfidence,
         ALG_16UC1},
        {kSlotColorMapped, (mapped & kHasColor) != 0, &CallbackFrames::colorMappedToDepth,
         &CallbackFrames::hasMappedColor, ALG_8UC3},
        {kSlotDepthMapped, (mapped & kHasDepth) != 0, &CallbackFrames::depthMappedToColor,
         &CallbackFrames::hasMappedDepth, ALG_16UC1},
        {kSlotIrMapped, (mapped & kHasIr) != 0, &CallbackFrames::irMappedToColor,
         &CallbackFrames::hasMappedIr, mappedIrType},
    };
    // Held from the decision to the end of the call: once UnRegisterNotify returns, no set goes to the
    // function, and none is lost between the two ways out.
    std::unique_lock<std::mutex> notifyLock(m_notifyMutex);
    const TfFrameNotifyCallback callback = m_notify.load();
    if (callback == nullptr) {
        for (const Present &part : parts) {
            if (part.present) {
                m_slotReady[part.slot].store(true);
            }
        }
        return 0;
    }
    const int mirror = m_mirror.load();
    const bool mirrored = mirror >= 1 && mirror <= 3;
    for (const Present &part : parts) {
        if (!part.present) {
            continue;
        }
        if (mirrored) {
            // 8-bit IR travels in a 16-bit slot; its element type follows the pixel format.
            ALG_ElemType type = part.mirrorType;
            if (part.slot == kSlotIr && m_slots[kSlotIr].pixelFormat == kPixelGray8) {
                type = ALG_8UC1;
            }
            DoMirror(m_slots[part.slot], type);
        }
        m_callbackFrames.*(part.tf) = ToTfFrame(m_slots[part.slot]);
        m_callbackFrames.*(part.presence) = 1;
    }
    Notify(callback);
    return 0;
}

uint8_t FrameDelivery::ProcMapFrame(const SyncFrame &set)
{
    if (m_refine == nullptr || set.hasDepth == 0 || set.hasColor == 0) {
        return 0;
    }
    std::lock_guard<std::mutex> lens(g_MutexSetLens);
    Frame &color = m_slots[kSlotColor];
    Frame &depth = m_slots[kSlotDepth];
    Frame &ir = m_slots[kSlotIr];
    const AlgImage colorImage = ImageOf(color, ALG_8UC3);
    const AlgImage depthImage = ImageOf(depth, ALG_16UC1);
    const AlgImage irImage = ImageOf(ir, ir.pixelFormat == kPixelGray8 ? ALG_8UC1 : ALG_16UC1);
    uint8_t produced = 0;

    if (m_colorToDepth.load()) {
        // The output has the depth image's size and the colour image's three channels.
        AlgImage out{m_mappedColorOut.get(), ALG_8UC3, depth.width, depth.height};
        const uint32_t bytes = uint32_t{depth.width} * depth.height * 3;
        if (bytes <= kMappedColorBytes &&
            m_refine->MapColorToDepth(&colorImage, &depthImage, &out) == kRefineOk &&
            uint32_t{out.width} * out.height * 3 <= kMappedColorBytes) {
            StoreMapped(kSlotColorMapped, kFrameColorMappedToDepth, m_mappedColorOut.get(), out, 3, color,
                        depth, depth.depthRange);
            produced |= kHasColor;
        }
    }

    bool irMapped = false;
    AlgImage irOut{m_mappedIrOut.get(), ALG_16UC1, color.width, color.height};
    const bool colorFits = uint32_t{color.width} * color.height * 2 <= kImageSlotBytes;
    const bool irWanted = m_irToColor.load() && set.hasIr != 0 && colorFits;
    if (m_depthToColor.load() && colorFits) {
        AlgImage depthOut{m_mappedDepthOut.get(), ALG_16UC1, color.width, color.height};
        const int ret =
            irWanted ? m_refine->MapDepthIrToColor(&colorImage, &depthImage, &irImage, &depthOut, &irOut)
                     : m_refine->MapDepthToColor(&colorImage, &depthImage, &depthOut);
        if (ret == kRefineOk && uint32_t{depthOut.width} * depthOut.height * 2 <= kImageSlotBytes) {
            StoreMapped(kSlotDepthMapped, kFrameDepthMappedToColor, m_mappedDepthOut.get(), depthOut, 2,
                        depth, color, depth.depthRange);
            produced |= kHasDepth;
            irMapped = irWanted;
        }
    } else if (irWanted) {
        irMapped = m_refine->MapIrToColor(&colorImage, &depthImage, &irImage, &irOut) == kRefineOk;
    }

    if (irMapped && uint32_t{irOut.width} * irOut.height * 2 <= kImageSlotBytes) {
        Frame &slot = m_slots[kSlotIrMapped];
        const uint32_t pixels = irOut.width * irOut.height;
        if (m_mappedIrFormat.load() == kPixelGray8) {
            m_refine->ConvertIr16To8(irOut.width, irOut.height, slot.pFrameData,
                                     reinterpret_cast<const uint16_t *>(m_mappedIrOut.get()));
            slot.pixelFormat = kPixelGray8;
            slot.dataLen = pixels;
            slot.bufferSize = kMappedIr8Bytes;
        } else {
            // The library maps IR on the sensor's 16-bit scale whatever the IR slot holds (8-bit IR is
            // widened), so the slot says 16-bit.
            std::memcpy(slot.pFrameData, m_mappedIrOut.get(), pixels * 2);
            slot.pixelFormat = kPixelGray16;
            slot.dataLen = pixels * 2;
            slot.bufferSize = kImageSlotBytes;
        }
        slot.frameType = kFrameIrMappedToColor;
        slot.depthRange = depth.depthRange;
        slot.frameIndex = ir.frameIndex;
        slot.imuFrameNo = ir.imuFrameNo;
        slot.exposureTime = ir.exposureTime;
        slot.hasFrameMask = ir.hasFrameMask;
        slot.inUse = ir.inUse;
        slot.timestamp = ir.timestamp;
        slot.width = static_cast<uint16_t>(irOut.width);
        slot.height = static_cast<uint16_t>(irOut.height);
        produced |= kHasIr;
    }
    return produced;
}

void FrameDelivery::StoreMapped(Slot slot, FrameType type, const uint8_t *image, const AlgImage &out,
                                uint32_t bytesPerPixel, const Frame &imageOf, const Frame &restOf,
                                uint32_t depthRange)
{
    Frame &frame = m_slots[slot];
    const uint32_t bytes = out.width * out.height * bytesPerPixel;
    std::memcpy(frame.pFrameData, image, bytes);
    frame.frameType = type;
    frame.pixelFormat = imageOf.pixelFormat;
    frame.frameIndex = imageOf.frameIndex;
    frame.depthRange = depthRange;
    frame.imuFrameNo = restOf.imuFrameNo;
    frame.exposureTime = restOf.exposureTime;
    frame.hasFrameMask = restOf.hasFrameMask;
    frame.inUse = restOf.inUse;
    frame.width = static_cast<uint16_t>(out.width);
    frame.height = static_cast<uint16_t>(out.height);
    frame.dataLen = bytes;
    frame.bufferSize = kImageSlotBytes;
}

void FrameDelivery::DoMirror(Frame &frame, ALG_ElemType elemType)
{
    const int mirror = m_mirror.load();
    if (m_refine == nullptr || mirror < 1 || mirror > 3) {
        RecordApplied(frame, AppliedTransform{});
        return;
    }
    static constexpr int kMirrorCode[] = {0, 1, 0, -1};
    AlgImage image = ImageOf(frame, elemType);
    const bool mirrored = m_refine->Mirror(&image, kMirrorCode[mirror]) == kRefineOk;
    if (mirrored) {
        frame.width = static_cast<uint16_t>(image.width);
        frame.height = static_cast<uint16_t>(image.height);
    }
    RecordApplied(frame, AppliedTransform{kNotSet, mirrored ? mirror : kNotSet});
}

void FrameDelivery::RecordApplied(const Frame &frame, AppliedTransform applied)
{
    std::lock_guard<std::mutex> lock(m_appliedMutex);
    for (size_t slot = 0; slot < m_slots.size(); ++slot) {
        if (m_slots[slot].pFrameData == frame.pFrameData) {
            m_applied[slot] = AppliedRecord{frame.pFrameData, frame.frameIndex, applied};
        }
    }
}

bool FrameDelivery::GetAppliedTransform(const void *data, uint32_t frameIndex,
                                        AppliedTransform &applied) const
{
    std::lock_guard<std::mutex> lock(m_appliedMutex);
    for (size_t slot = 0; slot < m_slots.size(); ++slot) {
        if (data != nullptr && m_slots[slot].pFrameData == data) {
            const AppliedRecord &record = m_applied[slot];
            applied =
                record.data == data && record.frameIndex == frameIndex ? record.applied : AppliedTransform{};
            return true;
        }
    }
    return false;
}

int FrameDelivery::GetFrame(FrameType type, Frame *frame)
{
    if (frame == nullptr) {
        return kStatusNoFrameData;
    }
    const int slot = SlotOfType(type);
    if (slot < 0) {
        TFLOG("frameType:%d is invalid", static_cast<int>(type));
    }
    bool ok = slot >= 0 && m_slotReady[slot].load();
    if (ok && type == kFrameColorMappedToDepth) {
        ok = m_colorToDepth.load();
    } else if (ok && type == kFrameDepthMappedToColor) {
        ok = m_depthToColor.load();
    } else if (ok && type == kFrameIrMappedToColor) {
        ok = m_irToColor.load();
    }
    if (!ok) {
        if (frame->pFrameData != nullptr && frame->bufferSize != 0) {
            std::memset(frame->pFrameData, 0, frame->bufferSize);
        }
        std::memset(static_cast<void *>(frame), 0, sizeof(Frame));
        return kStatusNoFrameMode;
    }
    std::memcpy(static_cast<void *>(frame), static_cast<const void *>(&m_slots[slot]), sizeof(Frame));
    m_slotReady[slot].store(false);

    const int rotation = m_rotation.load();
    const int mirror = m_mirror.load();
    const bool rotate = rotation >= 0 && rotation <= 2;
    const bool flip = mirror >= 1 && mirror <= 3;
    if ((!rotate && !flip) || m_refine == nullptr) {
        RecordApplied(*frame, AppliedTransform{});
        return 0;
    }
    ALG_ElemType elemType = ElemTypeOf(type);
    if (frame->pixelFormat == kPixelGray8) {
        elemType = ALG_8UC1;
    }
    AlgImage image = ImageOf(*frame, elemType);
    AppliedTransform applied;
    if (rotate && m_refine->Rotate(&image, rotation) == kRefineOk) {
        applied.rotation = rotation;
    }
    if (flip) {
        static constexpr int kMirrorCode[] = {0, 1, 0, -1};
        if (m_refine->Mirror(&image, kMirrorCode[mirror]) == kRefineOk) {
            applied.mirror = mirror;
        }
    }
    frame->width = static_cast<uint16_t>(image.width);
    frame->height = static_cast<uint16_t>(image.height);
    RecordApplied(*frame, applied);
    return 0;
}

int FrameDelivery::RegisterNotify(TfFrameNotifyCallback callback)
{
    if (callback == nullptr) {
        TFLOG("callback is NULL");
        return 0;
    }
    m_notify.store(callback);
    if (!IsRunning()) {
        Start();
    }
    return 1;
}

int FrameDelivery::UnRegisterNotify()
{
    m_notify.store(nullptr);
    // A call in progress finishes before this returns, unless this is that call.
    if (m_notifyThread.load() != std::this_thread::get_id()) {
        std::lock_guard<std::mutex> lock(m_notifyMutex);
    }
    return 0;
}

void FrameDelivery::Notify(TfFrameNotifyCallback callback)
{
    m_notifyThread.store(std::this_thread::get_id());
    callback(&m_callbackFrames);
    m_notifyThread.store(std::thread::id());
}

void FrameDelivery::CallbackFn()
{
    if (!HasNotify()) {
        if (!m_loggedNoCallback) {
            TFLOG("not register callback");
            m_loggedNoCallback = true;
        }
        WaitForStop(kCallbackIdlePauseMs);
        return;
    }
    m_loggedNoCallback = false;
    if (m_sync.load() == nullptr) {
        // Not initialised yet: nothing can arrive.
        WaitForStop(kCallbackIdlePauseMs);
        return;
    }
    int ret = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(m_collectMutex);
        ret = m_synchronize.load() ? SyncCollect() : UnsyncCollect();
        const bool readied = m_slotReady[kSlotDepth].load() || m_slotReady[kSlotIr].load() ||
                             m_slotReady[kSlotConfidence].load() || m_slotReady[kSlotColor].load();
        if (ret == 0 && readied && !HasNotify()) {
            // Unregistered while this collection waited: the frames it readied go to the next poll.
            m_pendingSet.store(true);
        }
    }
    if (ret == kStatusDeviceNotFound) {
        // Stream or frame state off: the collection returns at once.
        WaitForStop(kCallbackIdlePauseMs);
    }
}

void FrameDelivery::SetSynchronizeEnabled(bool enabled)
{
    TFLOG("bEnabled:%d", m_synchronize.load() ? 1 : 0);
    m_synchronize.store(enabled);
}

int FrameDelivery::SetTransformColorImgToDepthCameraEnabled(bool enabled)
{
    TFLOG("enabled:%d", enabled ? 1 : 0);
    if (m_refine == nullptr) {
        return kStatusNotSupported;
    }
    m_colorToDepth.store(enabled);
    return 0;
}

int FrameDelivery::SetTransformDepthImgToColorCameraEnabled(bool enabled)
{
    TFLOG("enabled:%d", enabled ? 1 : 0);
    if (m_refine == nullptr) {
        return kStatusNotSupported;
    }
    m_depthToColor.store(enabled);
    return 0;
}

int FrameDelivery::SetTransformIRImgToColorCameraEnabled(bool enabled)
{
    if (m_refine == nullptr) {
        return kStatusNotSupported;
    }
    m_irToColor.store(enabled);
    return 0;
}

void FrameDelivery::SetFramePixelFormat(int frameType, int pixelFormat)
{
    if (frameType == kFrameIr && (pixelFormat == kPixelGray16 || pixelFormat == kPixelGray8)) {
        m_mappedIrFormat.store(pixelFormat);
        return;
    }
    TFLOG("frameType:%d pixelFormat:%d Not yet supported", frameType, pixelFormat);
}

int FrameDelivery::GetOnlyTimeFilterDepth(Frame *frame)
{
    if (m_refine == nullptr) {
        return -1;
    }
    Frame &slot = m_slots[kSlotTimeFilter];
    // The library reads the image's width x height as the capacity it may fill.
    AlgImage image{slot.pFrameData, ALG_16UC1, 1280, 1620};
    const int ret = m_refine->GetOnlyTimeFilterDepth(&image);
    if (ret == kRefineOk) {
        slot.width = static_cast<uint16_t>(image.width);
        slot.height = static_cast<uint16_t>(image.height);
        slot.dataLen = image.width * image.height * 2;
    }
    if (frame != nullptr) {
        std::memcpy(static_cast<void *>(frame), static_cast<const void *>(&slot), sizeof(Frame));
    }
    return ret;
}

int FrameDelivery::GetMappedPointDepthToRGB(TfDepthVector3 depthPoint, TfVector2u16 colorSize,
                                            TfVector2u16 *colorPoint)
{
    if (m_refine == nullptr) {
        return -1;
    }
    return m_refine->GetMappedPointDepthToRGB(depthPoint, colorSize, colorPoint);
}
