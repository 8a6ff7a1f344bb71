#include "engine/conversion_result.h"

namespace quarn::engine {

const char* conversionMessage(ConversionResult result) {
  switch (result) {
    case kConverted:
      return " gotovo!";
    case kInputNotFound:
      return " greshka! Faila, koito iskate\n da konvertirate ne e otkrit!";
    case kOutOfMemory:
      return " greshka! Nqma dostatachno svobodna pamet!";
    case kNotBmp:
      return " greshka! Tova ne e bmp/avi fail!";
    case kUnsupportedHeader:
      return " greshka! Faila e s DIB header razli4en ot Windows V3!";
    case kUnsupportedBitDepth:
      return " greshka! Cvetovata dulbochina trqbva da e 16,24 ili 32 bit!";
    case kCompressed:
      return " greshka! Ne se poddurjat kompresirani failove!";
    case kOutputExists:
      return " greshka! Fail\n %s \n sashtestvuva i nqma da se prezapishe!";
    case kCannotCreateOutput:
      return " greshka! Ne moje da se sazdade izhoden fail!";
    case kWriteFailed:
      return " greshka! Nqma dostatachno svobodno diskovo prostranstvo!";
    case kTooSmall:
      return " greshka! Failut e prekaleno maluk za da bude kachestveno konvertiran!";
  }
  return nullptr;
}

}  // namespace quarn::engine
