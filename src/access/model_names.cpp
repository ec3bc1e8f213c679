#include "access/model_names.h"

#include "device/device_link.h"

namespace qv {

ModelTexts TextsOfModel(std::uint32_t modelIdentity) {
  switch (ProductIdOf(modelIdentity)) {
    case kProduct070C:
    case kProduct1225:
    case kProduct130D:
      return {u" (Corvo)", u"ユーザー認証　《Corvo》"};
    case kProduct074F:
      if (modelIdentity == kModelB4B4074F) return {u" (Brava)", u"ユーザー認証　《Brava》"};
      return {u" (Tarn)", u"ユーザー認証　《Tarn》"};
    case kProduct0750:
      return {u" (CorvoTarn)", u"ユーザー認証　《CorvoTarn》"};
    case kProduct075F:
      return {u" (Tarn+)", u"ユーザー認証　《Tarn+》"};
    case kProduct0777:
      if (modelIdentity == kModelB5B50777) return {u" (Brava)", u"ユーザー認証　《Brava》"};
      return {u" (Tarn Quad)", u"ユーザー認証　《Tarn Quad》"};
    case kProduct1227:
      return {u" (Merla)", u"ユーザー認証　《Merla》"};
    case kProduct142A:
      return {u" (Sable)", u"ユーザー認証　《Sable》"};
    case kProduct1865:
      return {u" (Wren)", u"ユーザー認証　《Wren》"};
    default:
      return {};
  }
}

}  // namespace qv
