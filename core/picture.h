#pragma once

namespace velmora {

class TDIB;
class TPngPicture;

// A picture handed out by a library: either a pixel buffer (TDIB) or, for images that carry an
// alpha plane, a PNG picture (TPngPicture). Callers ask which one it is with AsDIB / AsPng.
class TPicture {
public:
    virtual ~TPicture() = default;

    virtual int Width() const = 0;
    virtual int Height() const = 0;

    virtual TDIB* AsDIB() { return nullptr; }
    virtual const TDIB* AsDIB() const { return nullptr; }
    virtual TPngPicture* AsPng() { return nullptr; }
    virtual const TPngPicture* AsPng() const { return nullptr; }
};

} // namespace velmora
