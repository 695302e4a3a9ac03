#include "ui/ImageLoader.h"

#include "ui/BitmapFile.h"

#include "BinaryData.h"

#include <cstring>

namespace
{
    ImageLoader* loaderInstance = nullptr;

    const EmbeddedImage embeddedImages[ImageLoader::imageCount] = {
        { BinaryData::warning_png, BinaryData::warning_pngSize },
    };
}

void ImageLoader::create()
{
    if (loaderInstance == nullptr)
        loaderInstance = new ImageLoader();
}

ImageLoader* ImageLoader::instance()
{
    create();
    return loaderInstance;
}

void ImageLoader::deleteInstance()
{
    if (loaderInstance != nullptr)
    {
        delete loaderInstance;
        loaderInstance = nullptr;
    }
}

ImageLoader* ImageLoader::getInstanceWithoutCreating() noexcept
{
    return loaderInstance;
}

ImageLoader::ImageLoader()
{
    loadImage (warningSymbol, images[warningSymbol]);
}

ImageLoader::~ImageLoader()
{
    // Dropping our reference hands the picture back: the cache frees it when it next
    // cleans up and finds nobody else holding it.
    for (auto& image : images)
        image = {};
}

juce::Image ImageLoader::getImage (int index) const
{
    if (index < 0 || index >= imageCount)
        return {};

    return images[index];
}

const EmbeddedImage* ImageLoader::embeddedImage (int index)
{
    if (index < 0 || index >= imageCount)
        return nullptr;

    return &embeddedImages[index];
}

void ImageLoader::loadImage (int index, juce::Image& target)
{
    const auto* entry = embeddedImage (index);
    target = entry != nullptr ? decodeEmbeddedImage (*entry) : juce::Image();
}

juce::Image ImageLoader::decodeEmbeddedImage (const EmbeddedImage& entry)
{
    if (entry.data == nullptr || entry.size <= 0)
        return {};

    auto image = juce::ImageCache::getFromMemory (entry.data, entry.size);

    if (image.isValid())
        return image;

    // The bitmap route decodes a copy that lives only while it decodes.
    juce::HeapBlock<uint8_t> copy;
    copy.malloc ((size_t) entry.size);

    if (copy == nullptr)
        return {};

    std::memcpy (copy.get(), entry.data, (size_t) entry.size);
    image = decodeBitmap (copy.get(), (size_t) entry.size);

    // Registered like the framework's pictures, so that it is given back the same way. The
    // key is the address of the entry's own pixel data, not of the copy: a freed copy's
    // address can come back for other bytes, whose lookup would then find this picture.
    if (image.isValid())
        juce::ImageCache::addImageToCache (image, (juce::int64) (juce::pointer_sized_int)
                                                      (static_cast<const uint8_t*> (entry.data)
                                                       + bitmapLayout::pixelOffset));

    return image;
}
