#include "app/picture_file.h"

#include "common/input_file.h"

namespace app {

QImage readPicture(const QString& path) {
    const common::InputFile file = common::readInputFile(path.toStdString(), kMaxPictureBytes);
    if (!file.ok())
        return {};
    return QImage::fromData(reinterpret_cast<const uchar*>(file.bytes.data()),
                            static_cast<int>(file.bytes.size()));
}

}  // namespace app
