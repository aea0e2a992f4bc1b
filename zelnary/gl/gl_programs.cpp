#include "zelnary/gl/gl_programs.h"

#include <vector>

namespace znr::gl {
namespace {

constexpr const char* kVertex = R"(
layout(location = 0) in vec3 a_position;
layout(location = 1) in vec2 a_uv;
layout(location = 2) in uvec4 a_front;
layout(location = 3) in uvec4 a_back;
uniform mat4 u_mvp;
INTERPOLATION out vec2 v_uv;
flat out vec3 v_front;
flat out vec3 v_back;
void main() {
  gl_Position = u_mvp * vec4(a_position, 1.0);
  v_uv = a_uv;
  v_front = vec3(a_front.rgb) / 256.0;
  v_back = vec3(a_back.rgb) / 256.0;
}
)";

// Polygons that are not one-sided show whichever side faces the eye, lit from that side. The
// texel times the light is rounded down and saturates, in exact steps, like the CPU's.
constexpr const char* kFragment = R"(
INTERPOLATION in vec2 v_uv;
flat in vec3 v_front;
flat in vec3 v_back;
uniform sampler2D u_texture;
out vec4 o_color;
void main() {
  vec3 light = gl_FrontFacing ? v_front : v_back;
  vec3 texel = round(texture(u_texture, v_uv).rgb * 255.0);
  o_color = vec4(min(floor(texel * light), vec3(255.0)) / 255.0, 1.0);
}
)";

GLuint compile(GLenum kind, const std::string& header, const char* body, std::string& why) {
  const GLuint s = glCreateShader(kind);
  const char* parts[] = {header.c_str(), body};
  glShaderSource(s, 2, parts, nullptr);
  glCompileShader(s);
  GLint ok = GL_FALSE;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (ok == GL_TRUE) return s;
  GLint length = 0;
  glGetShaderiv(s, GL_INFO_LOG_LENGTH, &length);
  std::vector<char> log(static_cast<size_t>(length > 0 ? length : 1), '\0');
  glGetShaderInfoLog(s, static_cast<GLsizei>(log.size()), nullptr, log.data());
  why = std::string("a shader does not compile: ") + log.data();
  glDeleteShader(s);
  return 0;
}

}  // namespace

bool make_program(bool perspective, Program& out, std::string& why) {
  const std::string header = std::string("#version 330 core\n#define INTERPOLATION ") +
                             (perspective ? "smooth" : "noperspective") + "\n";
  const GLuint vs = compile(GL_VERTEX_SHADER, header, kVertex, why);
  if (vs == 0) return false;
  const GLuint fs = compile(GL_FRAGMENT_SHADER, header, kFragment, why);
  if (fs == 0) {
    glDeleteShader(vs);
    return false;
  }
  out.id = glCreateProgram();
  glAttachShader(out.id, vs);
  glAttachShader(out.id, fs);
  glLinkProgram(out.id);
  glDeleteShader(vs);  // freed with the program
  glDeleteShader(fs);
  GLint ok = GL_FALSE;
  glGetProgramiv(out.id, GL_LINK_STATUS, &ok);
  if (ok != GL_TRUE) {
    why = "the shaders do not link";
    glDeleteProgram(out.id);
    out.id = 0;
    return false;
  }
  out.mvp = glGetUniformLocation(out.id, "u_mvp");
  glUseProgram(out.id);
  glUniform1i(glGetUniformLocation(out.id, "u_texture"), 0);
  return true;
}

}  // namespace znr::gl
