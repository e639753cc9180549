# Build rules for a small C program.
CC ?= gcc
CFLAGS := -O2 -Wall
SRCS = main.c util.c
OBJS = $(SRCS:.c=.o)
PREFIX ::= /usr/local
LIBS += -lm \
        -lpthread

ifeq ($(DEBUG),1)
  CFLAGS += -g
else ifdef PROFILE
  CFLAGS += -pg
else
  CFLAGS += -DNDEBUG
endif

define compile
	@echo "CC $(1)"
	$(CC) $(CFLAGS) -c $(1) -o $(2)
endef

export PATH := $(PATH):${PREFIX}/bin
-include config.mk

.PHONY: all clean install

all: app

app: $(OBJS)
	$(CC) -o $@ $^ $(LIBS)

%.o: %.c util.h
	$(call compile,$<,$@)

install: app
	install -d $(DESTDIR)$(PREFIX)/bin
	for f in $(notdir $(wildcard *.sh)); do \
	  cp $$f '$(DESTDIR)/bin'; \
	done

clean:
	rm -f app $(OBJS) # remove outputs
	$(foreach d,$(SUBDIRS),$(MAKE) -C $(d) clean;)
