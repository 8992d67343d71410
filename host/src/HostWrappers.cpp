#include "host/HostWrappers.h"

#include <cstdarg>
#include <cstdio>

CLxLoc_LogService::CLxLoc_LogService() : m_guid(LXu_LOGSERVICE)
{
    // m_guid lives only as long as this wrapper; the module keys its cache
    // by a persistent copy, so a short-lived GUID is fine here.
    m_loc = static_cast<ILxLogService*>(lx::GetGlobal(&m_guid));
}

LxResult CLxLoc_LogService::SubSystem(const char* name, void** log)
{
    if (!m_loc)
        return LXe_FAILED;
    return m_loc->vt->SubSystem(m_loc, name, log);
}

LxResult CLxLoc_LogService::NewEntry(LxResult type, const char* text, void** entry)
{
    if (!m_loc)
        return LXe_FAILED;
    return m_loc->vt->NewEntry(m_loc, type, text, entry);
}

LxResult CLxLoc_Log::AddEntry(ILxUnknownID entry)
{
    if (!m_loc)
        return LXe_FAILED;
    return m_loc->vt->AddEntry(m_loc, entry);
}

CLxUser_Log::CLxUser_Log(const char* subsystem) { setByName(subsystem); }

bool CLxUser_Log::setByName(const char* subsystem)
{
    CLxLoc_LogService service;
    void* log = nullptr;
    if (!service.test() || LXx_FAIL(service.SubSystem(subsystem, &log)) || !log)
        return false;
    return take(log);
}

bool CLxUser_Log::Message(LxResult type, const char* format, ...)
{
    char text[kMessageBytes];
    va_list args;
    va_start(args, format);
    // vsnprintf always terminates within the buffer and cuts what does not
    // fit; a formatting error leaves an empty message.
    if (std::vsnprintf(text, sizeof text, format, args) < 0)
        text[0] = '\0';
    va_end(args);

    if (!test())
        return false;
    CLxLoc_LogService service;
    void* made = nullptr;
    if (LXx_FAIL(service.NewEntry(type, text, &made)) || !made)
        return false;
    CLxLoc_LogEntry entry;
    if (!entry.take(made))
        return false;
    return LXx_OK(AddEntry(entry));
}

LXtPixelFormat CLxLoc_Image::Format() { return m_loc ? m_loc->vt->Format(m_loc) : 0; }

LxResult CLxLoc_Image::GetPixel(unsigned x, unsigned y, LXtPixelFormat format, void* buf)
{
    if (!m_loc)
        return LXe_FAILED;
    return m_loc->vt->GetPixel(m_loc, x, y, format, buf);
}

LxResult CLxLoc_LayeredImage::Size(unsigned* width, unsigned* height)
{
    if (!m_loc)
        return LXe_FAILED;
    return m_loc->vt->Size(m_loc, width, height);
}

unsigned CLxLoc_LayeredImage::Count() { return m_loc ? m_loc->vt->Count(m_loc) : 0u; }

LxResult CLxLoc_LayeredImage::Name(unsigned index, const char** name)
{
    if (!m_loc)
        return LXe_FAILED;
    return m_loc->vt->Name(m_loc, index, name);
}

bool CLxLoc_LayeredImage::GetImage(CLxLoc_Image& image, unsigned index)
{
    if (!m_loc)
        return false;
    void* layer = nullptr;
    if (LXx_FAIL(m_loc->vt->Image(m_loc, index, &layer)) || !layer)
        return false;
    return image.take(layer);
}
