// Placeholder translation unit until the video pipeline lands.
namespace quarn::video {}
