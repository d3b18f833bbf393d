// What the OpenGL views share: one context for all canvases, the canvas
// attributes, textures made from frames, and reading a view back as an image.
#pragma once

#include <cstdint>
#include <vector>

#include <wx/glcanvas.h>
#include <wx/image.h>

#include "common/cip.h"
#include "display/code_pictures.h"

// RGBA, double buffer, 16-bit depth buffer.
const wxGLAttributes& ks_gl_attributes();
// The one context, created for the first canvas that asks.
wxGLContext& ks_gl_context(wxGLCanvas* canvas);


// A texture holding one frame; re-uploaded only when the frame changes.
class frame_texture {
public:
    frame_texture() = default;
    ~frame_texture();
    frame_texture(const frame_texture&) = delete;
    frame_texture& operator=(const frame_texture&) = delete;

    // Binds the texture of `frame` (current GL context); false for an empty frame.
    bool bind(const cip_t& frame, bool force_upload);
    void release();

private:
    unsigned id_ = 0;
    const std::uint8_t* uploaded_ = nullptr;
    long width_ = 0, height_ = 0;
};

// Makes the canvas current, sets the viewport to it and clears it to the
// data windows' background colour; returns the canvas size.
wxSize begin_drawing(wxGLCanvas* canvas);

// The canvas's back buffer as an image (after drawing, before swapping).
wxImage read_back(int width, int height);
