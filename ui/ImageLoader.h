#pragma once

#include <juce_graphics/juce_graphics.h>

// One picture compiled into the program: its file bytes and their length.
struct EmbeddedImage
{
    const void* data;
    int size;
};

// The program-wide store of the embedded pictures, decoded once when the main component
// is built and held until it is destroyed. The pictures themselves live in the
// framework's ImageCache; the store holds one reference to each.
class ImageLoader
{
public:
    static constexpr int warningSymbol = 0;
    static constexpr int imageCount = 1;

    // Creates the store (decoding every picture) unless it exists.
    static void create();

    // The store, created first if there is none.
    static ImageLoader* instance();

    // Deletes the store if it exists; the pictures go back to the cache.
    static void deleteInstance();

    // The store if it exists, else nullptr; never creates it.
    static ImageLoader* getInstanceWithoutCreating() noexcept;

    virtual ~ImageLoader();

    // The decoded picture with that index; a null image for a picture that could not be
    // decoded and for any index outside the table.
    juce::Image getImage (int index) const;

    // Decodes table entry `index` into `target`, or stores a null image.
    static void loadImage (int index, juce::Image& target);

    // The table of embedded pictures, in index order.
    static const EmbeddedImage* embeddedImage (int index);

    // One entry's bytes decoded: first by the framework's readers (PNG, JPEG, GIF) through
    // the image cache, otherwise by our own decoder for 24- and 32-bit Windows bitmaps. A
    // null image when neither understands them.
    static juce::Image decodeEmbeddedImage (const EmbeddedImage&);

private:
    ImageLoader();

    juce::Image images[imageCount];

    JUCE_DECLARE_NON_COPYABLE (ImageLoader)
};
