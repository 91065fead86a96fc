#pragma once

#include <cstdint>

namespace serial {

// The enumerations of the parameter set. Each is stored as a 32-bit integer
// whose value is the index; a record read from a file may hold any value, so
// code that maps them to tables checks the range first (see V24Mapping).

enum DatBitTag : int32_t { D_7, D_8 };
enum ParitaetTag : int32_t { NoParity, Odd, Even, Mark, Space };
enum StopBitTag : int32_t { S_1, S1_5, S_2 };
// <termios.h> defines B115200 as a macro: the header may be included next
// to it, but there the enumerator is spelt BaudTag(7).
#pragma push_macro("B115200")
#undef B115200
enum BaudTag : int32_t {
  B__1200,
  B__2400,
  B__4800,
  B__9600,
  B_19200,
  B_38400,
  B_57600,
  B115200,
  B128000,
  B256000
};
#pragma pop_macro("B115200")
enum HandshakeTag : int32_t { NoHandshake, RTS_CTS, XonXoff, Nardek_XonXoff };

// 0-based port number: Com__1 is COM1.
// clang-format off
enum ComTag : int32_t {
  Com__1, Com__2, Com__3, Com__4, Com__5, Com__6, Com__7, Com__8, Com__9, Com_10,
  Com_11, Com_12, Com_13, Com_14, Com_15, Com_16, Com_17, Com_18, Com_19, Com_20,
  Com_21, Com_22, Com_23, Com_24, Com_25, Com_26, Com_27, Com_28, Com_29, Com_30,
  Com_31, Com_32, Com_33, Com_34, Com_35, Com_36, Com_37, Com_38, Com_39, Com_40,
  Com_41, Com_42, Com_43, Com_44, Com_45, Com_46, Com_47, Com_48, Com_49, Com_50,
  Com_51, Com_52, Com_53, Com_54, Com_55, Com_56, Com_57, Com_58, Com_59, Com_60,
  Com_61, Com_62, Com_63, Com_64, Com_65, Com_66, Com_67, Com_68, Com_69, Com_70,
  Com_71, Com_72, Com_73, Com_74, Com_75, Com_76, Com_77, Com_78, Com_79, Com_80,
  Com_81, Com_82, Com_83, Com_84, Com_85, Com_86, Com_87, Com_88, Com_89, Com_90,
  Com_91, Com_92, Com_93, Com_94, Com_95, Com_96, Com_97, Com_98, Com_99, Com100,
  Com101, Com102, Com103, Com104, Com105, Com106, Com107, Com108, Com109, Com110,
  Com111, Com112, Com113, Com114, Com115, Com116, Com117, Com118, Com119, Com120,
  Com121, Com122, Com123, Com124, Com125, Com126, Com127, Com128, Com129, Com130,
  Com131, Com132, Com133, Com134, Com135, Com136, Com137, Com138, Com139, Com140,
  Com141, Com142, Com143, Com144, Com145, Com146, Com147, Com148, Com149, Com150,
  Com151, Com152, Com153, Com154, Com155, Com156, Com157, Com158, Com159, Com160,
  Com161, Com162, Com163, Com164, Com165, Com166, Com167, Com168, Com169, Com170,
  Com171, Com172, Com173, Com174, Com175, Com176, Com177, Com178, Com179, Com180,
  Com181, Com182, Com183, Com184, Com185, Com186, Com187, Com188, Com189, Com190,
  Com191, Com192, Com193, Com194, Com195, Com196, Com197, Com198, Com199, Com200,
  Com201, Com202, Com203, Com204, Com205, Com206, Com207, Com208, Com209, Com210,
  Com211, Com212, Com213, Com214, Com215, Com216, Com217, Com218, Com219, Com220,
  Com221, Com222, Com223, Com224, Com225, Com226, Com227, Com228, Com229, Com230,
  Com231, Com232, Com233, Com234, Com235, Com236, Com237, Com238, Com239, Com240,
  Com241, Com242, Com243, Com244, Com245, Com246, Com247, Com248, Com249, Com250,
  Com251, Com252, Com253, Com254, Com255, Com256,
};
// clang-format on

inline constexpr int32_t kDatBitCount = 2;
inline constexpr int32_t kParitaetCount = 5;
inline constexpr int32_t kStopBitCount = 3;
inline constexpr int32_t kBaudCount = 10;
inline constexpr int32_t kHandshakeCount = 4;
inline constexpr int32_t kComCount = 256;

}  // namespace serial
