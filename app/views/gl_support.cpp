#include "gl_support.h"

#include <memory>

#include <GL/gl.h>

#include "display/globcmap.h"
#include "resources/resource_table.h"

const wxGLAttributes& ks_gl_attributes()
{
    static const wxGLAttributes attributes = [] {
        wxGLAttributes a;
        a.PlatformDefaults().RGBA().DoubleBuffer().Depth(16).EndList();
        return a;
    }();
    return attributes;
}

wxGLContext& ks_gl_context(wxGLCanvas* canvas)
{
    static std::unique_ptr<wxGLContext> context;
    if (!context)
        context = std::make_unique<wxGLContext>(canvas);
    return *context;
}

frame_texture::~frame_texture()
{
    // The context may be gone at shut-down; the texture goes with it then.
}

void frame_texture::release()
{
    if (id_)
        glDeleteTextures(1, &id_);
    id_ = 0;
    uploaded_ = nullptr;
}

bool frame_texture::bind(const cip_t& frame, bool force_upload)
{
    if (frame.empty())
        return false;
    if (!id_)
        glGenTextures(1, &id_);
    glBindTexture(GL_TEXTURE_2D, id_);
    if (force_upload || uploaded_ != frame.pixels() || width_ != frame.width() || height_ != frame.height()) {
        const std::vector<std::uint8_t> rgb = frame_to_rgb(frame);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, static_cast<GLsizei>(frame.width()), static_cast<GLsizei>(frame.height()),
                     0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        uploaded_ = frame.pixels();
        width_ = frame.width();
        height_ = frame.height();
    }
    return true;
}

wxSize begin_drawing(wxGLCanvas* canvas)
{
    const wxSize size = canvas->GetClientSize();
    canvas->SetCurrent(ks_gl_context(canvas));
    const wxColour background(res->RES_BACKGROUND->value());
    glViewport(0, 0, size.GetWidth(), size.GetHeight());
    glClearColor(background.Red() / 255.0f, background.Green() / 255.0f, background.Blue() / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return size;
}

wxImage read_back(int width, int height)
{
    if (width <= 0 || height <= 0)
        return {};
    std::vector<unsigned char> rows(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    wxImage image(width, height, false);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y)  // GL rows run bottom up
        std::copy_n(rows.data() + static_cast<std::size_t>(height - 1 - y) * stride, stride,
                    image.GetData() + static_cast<std::size_t>(y) * stride);
    return image;
}
