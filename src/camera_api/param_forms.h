#pragma once

// How one row of camera_params.def becomes accessor methods.
//
// A row is ZV_PARAM(no, "parameter", Stem, TYPE, FORMS, HANDLE):
//   TYPE   INT, FLOAT, STRING or RAW (a 64-bit value read through zvGetParam)
//   FORMS  the forms present, in the order G MIN MAX INC S IS E D:
//          G_MIN_MAX_INC_S, G_MIN_MAX_INC, G_S, G, S, IS_E_D or IS
//   HANDLE CHECKED (a closed camera is refused before the camera API is
//          called) or NO_HANDLE_TEST
//
// ZVP_FORMS_<FORMS>(X, ...) expands X_G, X_MIN, ... for the forms present; X
// decides what a form becomes (a declaration, a definition, a test entry).

#define ZVP_FORMS_G_MIN_MAX_INC_S(X, p, Stem, T, H)                                                                    \
    X##_G(p, Stem, T, H) X##_MIN(p, Stem, T, H) X##_MAX(p, Stem, T, H) X##_INC(p, Stem, T, H) X##_S(p, Stem, T, H)
#define ZVP_FORMS_G_MIN_MAX_INC(X, p, Stem, T, H)                                                                      \
    X##_G(p, Stem, T, H) X##_MIN(p, Stem, T, H) X##_MAX(p, Stem, T, H) X##_INC(p, Stem, T, H)
#define ZVP_FORMS_G_S(X, p, Stem, T, H) X##_G(p, Stem, T, H) X##_S(p, Stem, T, H)
#define ZVP_FORMS_G(X, p, Stem, T, H) X##_G(p, Stem, T, H)
#define ZVP_FORMS_S(X, p, Stem, T, H) X##_S(p, Stem, T, H)
#define ZVP_FORMS_IS_E_D(X, p, Stem, T, H) X##_IS(p, Stem, T, H) X##_E(p, Stem, T, H) X##_D(p, Stem, T, H)
#define ZVP_FORMS_IS(X, p, Stem, T, H) X##_IS(p, Stem, T, H)

// Value types of the getters and setters.
#define ZVP_RESULT_INT int
#define ZVP_RESULT_FLOAT float
#define ZVP_RESULT_RAW uint64_t
#define ZVP_RESULT_STRING void
#define ZVP_GET_PARAMS_INT
#define ZVP_GET_PARAMS_FLOAT
#define ZVP_GET_PARAMS_RAW
#define ZVP_GET_PARAMS_STRING char *buffer, int size
#define ZVP_GET_ARGS_INT
#define ZVP_GET_ARGS_FLOAT
#define ZVP_GET_ARGS_RAW
#define ZVP_GET_ARGS_STRING , buffer, size
#define ZVP_SET_PARAM_INT int value
#define ZVP_SET_PARAM_FLOAT float value
#define ZVP_SET_PARAM_STRING const char* value

// Member declarations.
#define ZVP_DECL_G(p, Stem, T, H) ZVP_RESULT_##T Get##Stem(ZVP_GET_PARAMS_##T);
#define ZVP_DECL_MIN(p, Stem, T, H) ZVP_RESULT_##T Get##Stem##_Minimum();
#define ZVP_DECL_MAX(p, Stem, T, H) ZVP_RESULT_##T Get##Stem##_Maximum();
#define ZVP_DECL_INC(p, Stem, T, H) ZVP_RESULT_##T Get##Stem##_Increment();
#define ZVP_DECL_S(p, Stem, T, H) void Set##Stem(ZVP_SET_PARAM_##T);
#define ZVP_DECL_IS(p, Stem, T, H) bool Is##Stem();
#define ZVP_DECL_E(p, Stem, T, H) void Enable##Stem();
#define ZVP_DECL_D(p, Stem, T, H) void Disable##Stem();
#define ZVP_DECLARE(no, p, Stem, T, F, H) ZVP_FORMS_##F(ZVP_DECL, p, Stem, T, H)

// Member definitions: every method hands its parameter string and its own
// name to the shared step sequence of its form.
#define ZVP_DEF_G(p, Stem, T, H)                                                                                       \
    ZVP_RESULT_##T zvAPIplus_Camera::Get##Stem(ZVP_GET_PARAMS_##T)                                                     \
    {                                                                                                                  \
        return Get##T##Form(p, "Get" #Stem, HandleTest::H ZVP_GET_ARGS_##T);                                           \
    }
#define ZVP_DEF_MIN(p, Stem, T, H)                                                                                     \
    ZVP_RESULT_##T zvAPIplus_Camera::Get##Stem##_Minimum()                                                             \
    {                                                                                                                  \
        return Get##T##Form(p ":min", "Get" #Stem "_Minimum", HandleTest::H);                                          \
    }
#define ZVP_DEF_MAX(p, Stem, T, H)                                                                                     \
    ZVP_RESULT_##T zvAPIplus_Camera::Get##Stem##_Maximum()                                                             \
    {                                                                                                                  \
        return Get##T##Form(p ":max", "Get" #Stem "_Maximum", HandleTest::H);                                          \
    }
#define ZVP_DEF_INC(p, Stem, T, H)                                                                                     \
    ZVP_RESULT_##T zvAPIplus_Camera::Get##Stem##_Increment()                                                           \
    {                                                                                                                  \
        return Get##T##Form(p ":inc", "Get" #Stem "_Increment", HandleTest::H);                                        \
    }
#define ZVP_DEF_S(p, Stem, T, H)                                                                                       \
    void zvAPIplus_Camera::Set##Stem(ZVP_SET_PARAM_##T)                                                                \
    {                                                                                                                  \
        Set##T##Form(p, "Set" #Stem, HandleTest::H, value);                                                            \
    }
#define ZVP_DEF_IS(p, Stem, T, H)                                                                                      \
    bool zvAPIplus_Camera::Is##Stem()                                                                                  \
    {                                                                                                                  \
        return IsForm(p, "Is" #Stem, HandleTest::H);                                                                   \
    }
#define ZVP_DEF_E(p, Stem, T, H)                                                                                       \
    void zvAPIplus_Camera::Enable##Stem()                                                                              \
    {                                                                                                                  \
        SetINTForm(p, "Enable" #Stem, HandleTest::H, 1);                                                               \
    }
#define ZVP_DEF_D(p, Stem, T, H)                                                                                       \
    void zvAPIplus_Camera::Disable##Stem()                                                                             \
    {                                                                                                                  \
        SetINTForm(p, "Disable" #Stem, HandleTest::H, 0);                                                              \
    }
#define ZVP_DEFINE(no, p, Stem, T, F, H) ZVP_FORMS_##F(ZVP_DEF, p, Stem, T, H)
