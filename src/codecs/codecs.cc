// Placeholder translation unit until the first codec lands.
namespace quarn::codecs {}
